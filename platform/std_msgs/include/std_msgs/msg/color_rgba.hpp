#ifndef STD_MSGS__MSG__COLOR_RGBA_HPP_
#define STD_MSGS__MSG__COLOR_RGBA_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace std_msgs {
namespace msg {

struct ColorRGBA
{
  ROSIDL_STANDIN_POINTER_ALIASES(ColorRGBA)

  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 0.0f;

  bool operator==(const ColorRGBA & other) const
  {
    return r == other.r && g == other.g && b == other.b && a == other.a;
  }
  bool operator!=(const ColorRGBA & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace std_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(std_msgs::msg::ColorRGBA, "std_msgs/msg/ColorRGBA")

#endif  // STD_MSGS__MSG__COLOR_RGBA_HPP_
