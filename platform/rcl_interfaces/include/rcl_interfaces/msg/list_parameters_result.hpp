#ifndef RCL_INTERFACES__MSG__LIST_PARAMETERS_RESULT_HPP_
#define RCL_INTERFACES__MSG__LIST_PARAMETERS_RESULT_HPP_

#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"

namespace rcl_interfaces {
namespace msg {

struct ListParametersResult
{
  ROSIDL_STANDIN_POINTER_ALIASES(ListParametersResult)

  std::vector<std::string> names;
  std::vector<std::string> prefixes;

  bool operator==(const ListParametersResult & other) const
  {
    return names == other.names && prefixes == other.prefixes;
  }
  bool operator!=(const ListParametersResult & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace rcl_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(
    rcl_interfaces::msg::ListParametersResult, "rcl_interfaces/msg/ListParametersResult")

#endif  // RCL_INTERFACES__MSG__LIST_PARAMETERS_RESULT_HPP_
