#ifndef NAV_MSGS__MSG__MAP_META_DATA_HPP_
#define NAV_MSGS__MSG__MAP_META_DATA_HPP_

#include <cstdint>
#include <memory>

#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/pose.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace nav_msgs {
namespace msg {

struct MapMetaData
{
  ROSIDL_STANDIN_POINTER_ALIASES(MapMetaData)

  builtin_interfaces::msg::Time map_load_time;
  float resolution = 0.0f;
  uint32_t width = 0;
  uint32_t height = 0;
  geometry_msgs::msg::Pose origin;

  bool operator==(const MapMetaData & other) const
  {
    return map_load_time == other.map_load_time && resolution == other.resolution &&
           width == other.width && height == other.height && origin == other.origin;
  }
  bool operator!=(const MapMetaData & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace nav_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(nav_msgs::msg::MapMetaData, "nav_msgs/msg/MapMetaData")

#endif  // NAV_MSGS__MSG__MAP_META_DATA_HPP_
