#ifndef RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_
#define RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_

#include <cstdint>

#include "lifecycle_msgs/msg/transition.hpp"
#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle {
namespace node_interfaces {

/// The transition callbacks of a lifecycle node. Each gets the state the transition started
/// from; the defaults return SUCCESS.
class LifecycleNodeInterface
{
protected:
  RCLCPP_LIFECYCLE_PUBLIC
  LifecycleNodeInterface() {}

public:
  enum class CallbackReturn : uint8_t
  {
    SUCCESS = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_SUCCESS,
    FAILURE = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_FAILURE,
    ERROR = lifecycle_msgs::msg::Transition::TRANSITION_CALLBACK_ERROR
  };

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_configure(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_cleanup(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_shutdown(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_activate(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_deactivate(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual CallbackReturn on_error(const State & previous_state);

  RCLCPP_LIFECYCLE_PUBLIC
  virtual ~LifecycleNodeInterface() {}
};

}  // namespace node_interfaces
}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__NODE_INTERFACES__LIFECYCLE_NODE_INTERFACE_HPP_
