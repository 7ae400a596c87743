#ifndef BUILTIN_INTERFACES__MSG__DURATION_HPP_
#define BUILTIN_INTERFACES__MSG__DURATION_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace builtin_interfaces
{
namespace msg
{

struct Duration
{
  ROSIDL_STANDIN_POINTER_ALIASES(Duration)

  int32_t sec = 0;
  uint32_t nanosec = 0;

  bool operator==(const Duration & other) const {return sec == other.sec && nanosec == other.nanosec;}
  bool operator!=(const Duration & other) const {return !(*this == other);}
};

}  // namespace msg
}  // namespace builtin_interfaces

ROSIDL_STANDIN_MESSAGE_TRAITS(builtin_interfaces::msg::Duration, "builtin_interfaces/msg/Duration")

#endif  // BUILTIN_INTERFACES__MSG__DURATION_HPP_
