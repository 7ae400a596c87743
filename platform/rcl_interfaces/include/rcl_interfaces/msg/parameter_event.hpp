#ifndef RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_

#include <memory>
#include <string>
#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "rcl_interfaces/msg/parameter.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct ParameterEvent
{
  ROSIDL_STANDIN_POINTER_ALIASES(ParameterEvent)

  builtin_interfaces::msg::Time stamp;
  std::string node;
  std::vector<rcl_interfaces::msg::Parameter> new_parameters;
  std::vector<rcl_interfaces::msg::Parameter> changed_parameters;
  std::vector<rcl_interfaces::msg::Parameter> deleted_parameters;

  bool operator==(const ParameterEvent & other) const
  {
    return stamp == other.stamp && node == other.node && new_parameters == other.new_parameters &&
           changed_parameters == other.changed_parameters &&
           deleted_parameters == other.deleted_parameters;
  }
  bool operator!=(const ParameterEvent & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::ParameterEvent, "rcl_interfaces/msg/ParameterEvent")

#endif  // RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_
