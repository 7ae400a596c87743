#ifndef GEOMETRY_MSGS__MSG__POSE_STAMPED_HPP_
#define GEOMETRY_MSGS__MSG__POSE_STAMPED_HPP_

#include <memory>

#include "geometry_msgs/msg/pose.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace geometry_msgs {
namespace msg {

struct PoseStamped
{
  ROSIDL_STANDIN_POINTER_ALIASES(PoseStamped)

  std_msgs::msg::Header header;
  geometry_msgs::msg::Pose pose;

  bool operator==(const PoseStamped & other) const
  {
    return header == other.header && pose == other.pose;
  }
  bool operator!=(const PoseStamped & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::PoseStamped, "geometry_msgs/msg/PoseStamped")

#endif  // GEOMETRY_MSGS__MSG__POSE_STAMPED_HPP_
