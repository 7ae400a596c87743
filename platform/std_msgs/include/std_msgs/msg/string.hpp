#ifndef STD_MSGS__MSG__STRING_HPP_
#define STD_MSGS__MSG__STRING_HPP_

#include <memory>
#include <string>

#include "rosidl_runtime_cpp/traits.hpp"

namespace std_msgs {
namespace msg {

struct String
{
  ROSIDL_STANDIN_POINTER_ALIASES(String)

  std::string data;

  bool operator==(const String & other) const { return data == other.data; }
  bool operator!=(const String & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace std_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(std_msgs::msg::String, "std_msgs/msg/String")

#endif  // STD_MSGS__MSG__STRING_HPP_
