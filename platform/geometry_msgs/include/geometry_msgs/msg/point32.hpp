#ifndef GEOMETRY_MSGS__MSG__POINT32_HPP_
#define GEOMETRY_MSGS__MSG__POINT32_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Point32
{
  ROSIDL_STANDIN_POINTER_ALIASES(Point32)

  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  bool operator==(const Point32 & other) const
  {
    return x == other.x && y == other.y && z == other.z;
  }
  bool operator!=(const Point32 & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Point32, "geometry_msgs/msg/Point32")

#endif  // GEOMETRY_MSGS__MSG__POINT32_HPP_
