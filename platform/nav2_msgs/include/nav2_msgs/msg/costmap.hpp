#ifndef NAV2_MSGS__MSG__COSTMAP_HPP_
#define NAV2_MSGS__MSG__COSTMAP_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "nav2_msgs/msg/costmap_meta_data.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace nav2_msgs {
namespace msg {

struct Costmap
{
  ROSIDL_STANDIN_POINTER_ALIASES(Costmap)

  std_msgs::msg::Header header;
  nav2_msgs::msg::CostmapMetaData metadata;
  std::vector<uint8_t> data;

  bool operator==(const Costmap & other) const
  {
    return header == other.header && metadata == other.metadata && data == other.data;
  }
  bool operator!=(const Costmap & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace nav2_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(nav2_msgs::msg::Costmap, "nav2_msgs/msg/Costmap")

#endif  // NAV2_MSGS__MSG__COSTMAP_HPP_
