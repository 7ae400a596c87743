#ifndef GEOMETRY_MSGS__MSG__POSE_HPP_
#define GEOMETRY_MSGS__MSG__POSE_HPP_

#include <memory>

#include "geometry_msgs/msg/point.hpp"
#include "geometry_msgs/msg/quaternion.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Pose
{
  ROSIDL_STANDIN_POINTER_ALIASES(Pose)

  geometry_msgs::msg::Point position;
  geometry_msgs::msg::Quaternion orientation;

  bool operator==(const Pose & other) const
  {
    return position == other.position && orientation == other.orientation;
  }
  bool operator!=(const Pose & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Pose, "geometry_msgs/msg/Pose")

#endif  // GEOMETRY_MSGS__MSG__POSE_HPP_
