#ifndef NAV2_MSGS__MSG__COSTMAP_META_DATA_HPP_
#define NAV2_MSGS__MSG__COSTMAP_META_DATA_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/pose.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace nav2_msgs {
namespace msg {

struct CostmapMetaData
{
  ROSIDL_STANDIN_POINTER_ALIASES(CostmapMetaData)

  builtin_interfaces::msg::Time map_load_time;
  builtin_interfaces::msg::Time update_time;
  std::string layer;
  float resolution = 0.0f;
  uint32_t size_x = 0;
  uint32_t size_y = 0;
  geometry_msgs::msg::Pose origin;

  bool operator==(const CostmapMetaData & other) const
  {
    return map_load_time == other.map_load_time && update_time == other.update_time &&
           layer == other.layer && resolution == other.resolution && size_x == other.size_x &&
           size_y == other.size_y && origin == other.origin;
  }
  bool operator!=(const CostmapMetaData & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace nav2_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(nav2_msgs::msg::CostmapMetaData, "nav2_msgs/msg/CostmapMetaData")

#endif  // NAV2_MSGS__MSG__COSTMAP_META_DATA_HPP_
