#ifndef RCL_INTERFACES__MSG__PARAMETER_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_HPP_

#include <memory>
#include <string>

#include "rcl_interfaces/msg/parameter_value.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct Parameter
{
  ROSIDL_STANDIN_POINTER_ALIASES(Parameter)

  std::string name;
  rcl_interfaces::msg::ParameterValue value;

  bool operator==(const Parameter & other) const
  {
    return name == other.name && value == other.value;
  }
  bool operator!=(const Parameter & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(rcl_interfaces::msg::Parameter, "rcl_interfaces/msg/Parameter")

#endif  // RCL_INTERFACES__MSG__PARAMETER_HPP_
