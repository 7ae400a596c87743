#ifndef GEOMETRY_MSGS__MSG__TRANSFORM_HPP_
#define GEOMETRY_MSGS__MSG__TRANSFORM_HPP_

#include <memory>

#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/vector3.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Transform
{
  ROSIDL_STANDIN_POINTER_ALIASES(Transform)

  geometry_msgs::msg::Vector3 translation;
  geometry_msgs::msg::Quaternion rotation;

  bool operator==(const Transform & other) const
  {
    return translation == other.translation && rotation == other.rotation;
  }
  bool operator!=(const Transform & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Transform, "geometry_msgs/msg/Transform")

#endif  // GEOMETRY_MSGS__MSG__TRANSFORM_HPP_
