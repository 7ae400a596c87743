#ifndef RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/floating_point_range.hpp"
#include "rcl_interfaces/msg/integer_range.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct ParameterDescriptor
{
  ROSIDL_STANDIN_POINTER_ALIASES(ParameterDescriptor)

  std::string name;
  uint8_t type = 0;
  std::string description;
  std::string additional_constraints;
  bool read_only = false;
  bool dynamic_typing = false;
  // Bounded to one element in the message definition.
  std::vector<rcl_interfaces::msg::FloatingPointRange> floating_point_range;
  std::vector<rcl_interfaces::msg::IntegerRange> integer_range;

  bool operator==(const ParameterDescriptor & other) const
  {
    return name == other.name && type == other.type && description == other.description &&
           additional_constraints == other.additional_constraints && read_only == other.read_only &&
           dynamic_typing == other.dynamic_typing &&
           floating_point_range == other.floating_point_range &&
           integer_range == other.integer_range;
  }
  bool operator!=(const ParameterDescriptor & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::ParameterDescriptor, "rcl_interfaces/msg/ParameterDescriptor")

#endif  // RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_
