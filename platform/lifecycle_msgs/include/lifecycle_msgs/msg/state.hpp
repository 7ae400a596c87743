#ifndef LIFECYCLE_MSGS__MSG__STATE_HPP_
#define LIFECYCLE_MSGS__MSG__STATE_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rosidl_runtime_cpp/traits.hpp"

namespace lifecycle_msgs {
namespace msg {

struct State
{
  ROSIDL_STANDIN_POINTER_ALIASES(State)

  static constexpr uint8_t PRIMARY_STATE_UNKNOWN = 0u;
  static constexpr uint8_t PRIMARY_STATE_UNCONFIGURED = 1u;
  static constexpr uint8_t PRIMARY_STATE_INACTIVE = 2u;
  static constexpr uint8_t PRIMARY_STATE_ACTIVE = 3u;
  static constexpr uint8_t PRIMARY_STATE_FINALIZED = 4u;
  static constexpr uint8_t TRANSITION_STATE_CONFIGURING = 10u;
  static constexpr uint8_t TRANSITION_STATE_CLEANINGUP = 11u;
  static constexpr uint8_t TRANSITION_STATE_SHUTTINGDOWN = 12u;
  static constexpr uint8_t TRANSITION_STATE_ACTIVATING = 13u;
  static constexpr uint8_t TRANSITION_STATE_DEACTIVATING = 14u;
  static constexpr uint8_t TRANSITION_STATE_ERRORPROCESSING = 15u;

  uint8_t id = 0;
  std::string label;

  bool operator==(const State & other) const { return id == other.id && label == other.label; }
  bool operator!=(const State & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace lifecycle_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(lifecycle_msgs::msg::State, "lifecycle_msgs/msg/State")

#endif  // LIFECYCLE_MSGS__MSG__STATE_HPP_
