#ifndef VISUALIZATION_MSGS__MSG__UV_COORDINATE_HPP_
#define VISUALIZATION_MSGS__MSG__UV_COORDINATE_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace visualization_msgs {
namespace msg {

struct UVCoordinate
{
  ROSIDL_STANDIN_POINTER_ALIASES(UVCoordinate)

  float u = 0.0f;
  float v = 0.0f;

  bool operator==(const UVCoordinate & other) const { return u == other.u && v == other.v; }
  bool operator!=(const UVCoordinate & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace visualization_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    visualization_msgs::msg::UVCoordinate, "visualization_msgs/msg/UVCoordinate")

#endif  // VISUALIZATION_MSGS__MSG__UV_COORDINATE_HPP_
