#ifndef LIFECYCLE_MSGS__MSG__TRANSITION_HPP_
#define LIFECYCLE_MSGS__MSG__TRANSITION_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rosidl_runtime_cpp/traits.hpp"

namespace lifecycle_msgs {
namespace msg {

struct Transition
{
  ROSIDL_STANDIN_POINTER_ALIASES(Transition)

  static constexpr uint8_t TRANSITION_CREATE = 0u;
  static constexpr uint8_t TRANSITION_CONFIGURE = 1u;
  static constexpr uint8_t TRANSITION_CLEANUP = 2u;
  static constexpr uint8_t TRANSITION_ACTIVATE = 3u;
  static constexpr uint8_t TRANSITION_DEACTIVATE = 4u;
  static constexpr uint8_t TRANSITION_UNCONFIGURED_SHUTDOWN = 5u;
  static constexpr uint8_t TRANSITION_INACTIVE_SHUTDOWN = 6u;
  static constexpr uint8_t TRANSITION_ACTIVE_SHUTDOWN = 7u;
  static constexpr uint8_t TRANSITION_DESTROY = 8u;
  static constexpr uint8_t TRANSITION_ON_CONFIGURE_SUCCESS = 10u;
  static constexpr uint8_t TRANSITION_ON_CONFIGURE_FAILURE = 11u;
  static constexpr uint8_t TRANSITION_ON_CONFIGURE_ERROR = 12u;
  static constexpr uint8_t TRANSITION_ON_CLEANUP_SUCCESS = 20u;
  static constexpr uint8_t TRANSITION_ON_CLEANUP_FAILURE = 21u;
  static constexpr uint8_t TRANSITION_ON_CLEANUP_ERROR = 22u;
  static constexpr uint8_t TRANSITION_ON_ACTIVATE_SUCCESS = 30u;
  static constexpr uint8_t TRANSITION_ON_ACTIVATE_FAILURE = 31u;
  static constexpr uint8_t TRANSITION_ON_ACTIVATE_ERROR = 32u;
  static constexpr uint8_t TRANSITION_ON_DEACTIVATE_SUCCESS = 40u;
  static constexpr uint8_t TRANSITION_ON_DEACTIVATE_FAILURE = 41u;
  static constexpr uint8_t TRANSITION_ON_DEACTIVATE_ERROR = 42u;
  static constexpr uint8_t TRANSITION_ON_SHUTDOWN_SUCCESS = 50u;
  static constexpr uint8_t TRANSITION_ON_SHUTDOWN_FAILURE = 51u;
  static constexpr uint8_t TRANSITION_ON_SHUTDOWN_ERROR = 52u;
  static constexpr uint8_t TRANSITION_ON_ERROR_SUCCESS = 60u;
  static constexpr uint8_t TRANSITION_ON_ERROR_FAILURE = 61u;
  static constexpr uint8_t TRANSITION_ON_ERROR_ERROR = 62u;
  static constexpr uint8_t TRANSITION_CALLBACK_SUCCESS = 97u;
  static constexpr uint8_t TRANSITION_CALLBACK_FAILURE = 98u;
  static constexpr uint8_t TRANSITION_CALLBACK_ERROR = 99u;

  uint8_t id = 0;
  std::string label;

  bool operator==(const Transition & other) const { return id == other.id && label == other.label; }
  bool operator!=(const Transition & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace lifecycle_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(lifecycle_msgs::msg::Transition, "lifecycle_msgs/msg/Transition")

#endif  // LIFECYCLE_MSGS__MSG__TRANSITION_HPP_
