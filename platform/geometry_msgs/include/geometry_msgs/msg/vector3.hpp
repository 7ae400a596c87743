#ifndef GEOMETRY_MSGS__MSG__VECTOR3_HPP_
#define GEOMETRY_MSGS__MSG__VECTOR3_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Vector3
{
  ROSIDL_STANDIN_POINTER_ALIASES(Vector3)

  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  bool operator==(const Vector3 & other) const
  {
    return x == other.x && y == other.y && z == other.z;
  }
  bool operator!=(const Vector3 & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Vector3, "geometry_msgs/msg/Vector3")

#endif  // GEOMETRY_MSGS__MSG__VECTOR3_HPP_
