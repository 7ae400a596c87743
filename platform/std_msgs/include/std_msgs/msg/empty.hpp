#ifndef STD_MSGS__MSG__EMPTY_HPP_
#define STD_MSGS__MSG__EMPTY_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace std_msgs {
namespace msg {

struct Empty
{
  ROSIDL_STANDIN_POINTER_ALIASES(Empty)

  uint8_t structure_needs_at_least_one_member = 0;

  bool operator==(const Empty & other) const
  {
    return structure_needs_at_least_one_member == other.structure_needs_at_least_one_member;
  }
  bool operator!=(const Empty & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace std_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(std_msgs::msg::Empty, "std_msgs/msg/Empty")

#endif  // STD_MSGS__MSG__EMPTY_HPP_
