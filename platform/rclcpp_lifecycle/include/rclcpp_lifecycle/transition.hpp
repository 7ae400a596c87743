#ifndef RCLCPP_LIFECYCLE__TRANSITION_HPP_
#define RCLCPP_LIFECYCLE__TRANSITION_HPP_

#include <cstdint>
#include <string>

#include "rclcpp_lifecycle/state.hpp"
#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle {

/// A lifecycle transition: its lifecycle_msgs::msg::Transition id and label.
class RCLCPP_LIFECYCLE_PUBLIC Transition
{
public:
  Transition() = delete;

  explicit Transition(uint8_t id, const std::string & label = "");

  Transition(uint8_t id, const std::string & label, State && start, State && goal);

  virtual ~Transition() = default;

  uint8_t id() const;

  std::string label() const;

  State start_state() const;

  State goal_state() const;

private:
  uint8_t id_;
  std::string label_;
  State start_;
  State goal_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__TRANSITION_HPP_
