#ifndef RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_
#define RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct IntegerRange
{
  ROSIDL_STANDIN_POINTER_ALIASES(IntegerRange)

  int64_t from_value = 0;
  int64_t to_value = 0;
  uint64_t step = 0;

  bool operator==(const IntegerRange & other) const
  {
    return from_value == other.from_value && to_value == other.to_value && step == other.step;
  }
  bool operator!=(const IntegerRange & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(rcl_interfaces::msg::IntegerRange, "rcl_interfaces/msg/IntegerRange")

#endif  // RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_
