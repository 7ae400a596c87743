#ifndef GEOMETRY_MSGS__MSG__TWIST_HPP_
#define GEOMETRY_MSGS__MSG__TWIST_HPP_

#include <memory>

#include "geometry_msgs/msg/vector3.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Twist
{
  ROSIDL_STANDIN_POINTER_ALIASES(Twist)

  geometry_msgs::msg::Vector3 linear;
  geometry_msgs::msg::Vector3 angular;

  bool operator==(const Twist & other) const
  {
    return linear == other.linear && angular == other.angular;
  }
  bool operator!=(const Twist & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Twist, "geometry_msgs/msg/Twist")

#endif  // GEOMETRY_MSGS__MSG__TWIST_HPP_
