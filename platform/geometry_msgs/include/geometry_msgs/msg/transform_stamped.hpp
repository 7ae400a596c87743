#ifndef GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_
#define GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_

#include <memory>
#include <string>

#include "geometry_msgs/msg/transform.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace geometry_msgs {
namespace msg {

struct TransformStamped
{
  ROSIDL_STANDIN_POINTER_ALIASES(TransformStamped)

  std_msgs::msg::Header header;
  std::string child_frame_id;
  geometry_msgs::msg::Transform transform;

  bool operator==(const TransformStamped & other) const
  {
    return header == other.header && child_frame_id == other.child_frame_id &&
           transform == other.transform;
  }
  bool operator!=(const TransformStamped & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    geometry_msgs::msg::TransformStamped, "geometry_msgs/msg/TransformStamped")

#endif  // GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_
