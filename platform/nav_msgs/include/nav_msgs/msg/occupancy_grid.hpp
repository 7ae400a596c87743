#ifndef NAV_MSGS__MSG__OCCUPANCY_GRID_HPP_
#define NAV_MSGS__MSG__OCCUPANCY_GRID_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "nav_msgs/msg/map_meta_data.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace nav_msgs {
namespace msg {

struct OccupancyGrid
{
  ROSIDL_STANDIN_POINTER_ALIASES(OccupancyGrid)

  std_msgs::msg::Header header;
  nav_msgs::msg::MapMetaData info;
  std::vector<int8_t> data;

  bool operator==(const OccupancyGrid & other) const
  {
    return header == other.header && info == other.info && data == other.data;
  }
  bool operator!=(const OccupancyGrid & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace nav_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(nav_msgs::msg::OccupancyGrid, "nav_msgs/msg/OccupancyGrid")

#endif  // NAV_MSGS__MSG__OCCUPANCY_GRID_HPP_
