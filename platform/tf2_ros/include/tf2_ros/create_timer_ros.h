// Timers of a node, for tf2_ros::Buffer::waitForTransform.
#ifndef TF2_ROS__CREATE_TIMER_ROS_H_
#define TF2_ROS__CREATE_TIMER_ROS_H_

#include <mutex>
#include <unordered_map>

#include "rclcpp/rclcpp.hpp"
#include "tf2/time.h"
#include "tf2_ros/create_timer_interface.h"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// Creates rclcpp timers on a node, in callback_group (the node's default group when null), so
/// they fire on whichever executor serves that group.
class CreateTimerROS : public CreateTimerInterface
{
public:
  TF2_ROS_PUBLIC
  CreateTimerROS(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
      rclcpp::node_interfaces::NodeTimersInterface::SharedPtr node_timers,
      rclcpp::CallbackGroup::SharedPtr callback_group = nullptr);

  /// Cancels every timer still held.
  TF2_ROS_PUBLIC
  ~CreateTimerROS() override;

  /// A periodic timer calling callback(handle) every `period` on `clock`.
  TF2_ROS_PUBLIC
  TimerHandle createTimer(
      rclcpp::Clock::SharedPtr clock,
      const tf2::Duration & period,
      TimerCallbackType callback) override;

  /// Throws InvalidTimerHandleException for an unknown handle.
  TF2_ROS_PUBLIC
  void cancel(const TimerHandle & timer_handle) override;

  /// Throws InvalidTimerHandleException for an unknown handle.
  TF2_ROS_PUBLIC
  void reset(const TimerHandle & timer_handle) override;

  /// Cancels and forgets the timer; throws InvalidTimerHandleException for an unknown handle.
  TF2_ROS_PUBLIC
  void remove(const TimerHandle & timer_handle) override;

private:
  void cancelNoLock(const TimerHandle & timer_handle);
  void timerCallback(const TimerHandle & timer_handle, TimerCallbackType callback);

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  rclcpp::node_interfaces::NodeTimersInterface::SharedPtr node_timers_;
  TimerHandle next_timer_handle_index_;
  std::unordered_map<TimerHandle, rclcpp::TimerBase::SharedPtr> timers_map_;
  std::mutex timers_map_mutex_;
  rclcpp::CallbackGroup::SharedPtr callback_group_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__CREATE_TIMER_ROS_H_
