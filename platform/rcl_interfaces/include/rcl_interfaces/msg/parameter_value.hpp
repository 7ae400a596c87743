#ifndef RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct ParameterValue
{
  ROSIDL_STANDIN_POINTER_ALIASES(ParameterValue)

  uint8_t type = 0;
  bool bool_value = false;
  int64_t integer_value = 0;
  double double_value = 0.0;
  std::string string_value;
  std::vector<uint8_t> byte_array_value;
  std::vector<bool> bool_array_value;
  std::vector<int64_t> integer_array_value;
  std::vector<double> double_array_value;
  std::vector<std::string> string_array_value;

  bool operator==(const ParameterValue & other) const
  {
    return type == other.type && bool_value == other.bool_value &&
           integer_value == other.integer_value && double_value == other.double_value &&
           string_value == other.string_value && byte_array_value == other.byte_array_value &&
           bool_array_value == other.bool_array_value &&
           integer_array_value == other.integer_array_value &&
           double_array_value == other.double_array_value &&
           string_array_value == other.string_array_value;
  }
  bool operator!=(const ParameterValue & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::ParameterValue, "rcl_interfaces/msg/ParameterValue")

#endif  // RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_
