#ifndef RCLCPP_LIFECYCLE__STATE_HPP_
#define RCLCPP_LIFECYCLE__STATE_HPP_

#include <cstdint>
#include <string>

#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle {

/// A lifecycle state: its lifecycle_msgs::msg::State id and label.
class RCLCPP_LIFECYCLE_PUBLIC State
{
public:
  State();

  State(uint8_t id, const std::string & label);

  virtual ~State() = default;

  /// The state id (lifecycle_msgs::msg::State constants).
  uint8_t id() const;

  /// "unconfigured", "inactive", "active", "finalized", "configuring", ...
  std::string label() const;

private:
  uint8_t id_;
  std::string label_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__STATE_HPP_
