#ifndef MAP_MSGS__MSG__OCCUPANCY_GRID_UPDATE_HPP_
#define MAP_MSGS__MSG__OCCUPANCY_GRID_UPDATE_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace map_msgs {
namespace msg {

struct OccupancyGridUpdate
{
  ROSIDL_STANDIN_POINTER_ALIASES(OccupancyGridUpdate)

  std_msgs::msg::Header header;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<int8_t> data;

  bool operator==(const OccupancyGridUpdate & other) const
  {
    return header == other.header && x == other.x && y == other.y && width == other.width &&
           height == other.height && data == other.data;
  }
  bool operator!=(const OccupancyGridUpdate & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace map_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    map_msgs::msg::OccupancyGridUpdate, "map_msgs/msg/OccupancyGridUpdate")

#endif  // MAP_MSGS__MSG__OCCUPANCY_GRID_UPDATE_HPP_
