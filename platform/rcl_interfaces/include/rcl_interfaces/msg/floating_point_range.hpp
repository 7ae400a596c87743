#ifndef RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_
#define RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct FloatingPointRange
{
  ROSIDL_STANDIN_POINTER_ALIASES(FloatingPointRange)

  double from_value = 0.0;
  double to_value = 0.0;
  double step = 0.0;

  bool operator==(const FloatingPointRange & other) const
  {
    return from_value == other.from_value && to_value == other.to_value && step == other.step;
  }
  bool operator!=(const FloatingPointRange & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::FloatingPointRange, "rcl_interfaces/msg/FloatingPointRange")

#endif  // RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_
