#ifndef NAV_MSGS__MSG__PATH_HPP_
#define NAV_MSGS__MSG__PATH_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace nav_msgs {
namespace msg {

struct Path
{
  ROSIDL_STANDIN_POINTER_ALIASES(Path)

  std_msgs::msg::Header header;
  std::vector<geometry_msgs::msg::PoseStamped> poses;

  bool operator==(const Path & other) const
  {
    return header == other.header && poses == other.poses;
  }
  bool operator!=(const Path & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace nav_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(nav_msgs::msg::Path, "nav_msgs/msg/Path")

#endif  // NAV_MSGS__MSG__PATH_HPP_
