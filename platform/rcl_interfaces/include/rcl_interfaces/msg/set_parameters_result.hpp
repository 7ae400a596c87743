#ifndef RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_
#define RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_

#include <memory>
#include <string>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct SetParametersResult
{
  ROSIDL_STANDIN_POINTER_ALIASES(SetParametersResult)

  bool successful = false;
  std::string reason;

  bool operator==(const SetParametersResult & other) const
  {
    return successful == other.successful && reason == other.reason;
  }
  bool operator!=(const SetParametersResult & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::SetParametersResult, "rcl_interfaces/msg/SetParametersResult")

#endif  // RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_
