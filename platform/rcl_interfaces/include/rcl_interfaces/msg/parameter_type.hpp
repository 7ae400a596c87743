#ifndef RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct ParameterType
{
  ROSIDL_STANDIN_POINTER_ALIASES(ParameterType)

  static constexpr uint8_t PARAMETER_NOT_SET = 0;
  static constexpr uint8_t PARAMETER_BOOL = 1;
  static constexpr uint8_t PARAMETER_INTEGER = 2;
  static constexpr uint8_t PARAMETER_DOUBLE = 3;
  static constexpr uint8_t PARAMETER_STRING = 4;
  static constexpr uint8_t PARAMETER_BYTE_ARRAY = 5;
  static constexpr uint8_t PARAMETER_BOOL_ARRAY = 6;
  static constexpr uint8_t PARAMETER_INTEGER_ARRAY = 7;
  static constexpr uint8_t PARAMETER_DOUBLE_ARRAY = 8;
  static constexpr uint8_t PARAMETER_STRING_ARRAY = 9;

  // rosidl gives constant-only messages one placeholder field.
  uint8_t structure_needs_at_least_one_member = 0;

  bool operator==(const ParameterType & other) const
  {
    return structure_needs_at_least_one_member == other.structure_needs_at_least_one_member;
  }
  bool operator!=(const ParameterType & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::ParameterType, "rcl_interfaces/msg/ParameterType")

#endif  // RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_
