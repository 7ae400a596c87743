#ifndef RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_

#include "rclcpp/clock.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

class NodeClockInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeClockInterface)

  RCLCPP_PUBLIC
  virtual ~NodeClockInterface() = default;

  /// The node's clock (RCL_ROS_TIME).
  virtual rclcpp::Clock::SharedPtr get_clock() = 0;

  virtual rclcpp::Clock::ConstSharedPtr get_clock() const = 0;
};

class RCLCPP_PUBLIC NodeClock : public NodeClockInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeClock)

  NodeClock();

  ~NodeClock() override;

  rclcpp::Clock::SharedPtr get_clock() override;

  rclcpp::Clock::ConstSharedPtr get_clock() const override;

private:
  RCLCPP_DISABLE_COPY(NodeClock)

  rclcpp::Clock::SharedPtr ros_clock_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_CLOCK_INTERFACE_HPP_
