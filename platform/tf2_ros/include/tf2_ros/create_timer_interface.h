// How a tf2_ros::Buffer creates the timers of waitForTransform.
#ifndef TF2_ROS__CREATE_TIMER_INTERFACE_H_
#define TF2_ROS__CREATE_TIMER_INTERFACE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "rclcpp/clock.hpp"
#include "tf2/time.h"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

class CreateTimerInterfaceException : public std::runtime_error
{
public:
  TF2_ROS_PUBLIC
  explicit CreateTimerInterfaceException(const std::string & errorDescription)
      : std::runtime_error(errorDescription)
  {
  }
};

class InvalidTimerHandleException : public std::runtime_error
{
public:
  TF2_ROS_PUBLIC
  explicit InvalidTimerHandleException(const std::string & description)
      : std::runtime_error(description)
  {
  }
};

using TimerHandle = uint64_t;
using TimerCallbackType = std::function<void(const TimerHandle &)>;

/// Creates, cancels, resets and removes periodic timers identified by handles.
class CreateTimerInterface
{
public:
  using SharedPtr = std::shared_ptr<CreateTimerInterface>;
  using ConstSharedPtr = std::shared_ptr<const CreateTimerInterface>;
  using UniquePtr = std::unique_ptr<CreateTimerInterface>;

  TF2_ROS_PUBLIC
  virtual ~CreateTimerInterface() = default;

  TF2_ROS_PUBLIC
  virtual TimerHandle createTimer(
      rclcpp::Clock::SharedPtr clock, const tf2::Duration & period, TimerCallbackType callback) = 0;

  TF2_ROS_PUBLIC
  virtual void cancel(const TimerHandle & timer_handle) = 0;

  TF2_ROS_PUBLIC
  virtual void reset(const TimerHandle & timer_handle) = 0;

  TF2_ROS_PUBLIC
  virtual void remove(const TimerHandle & timer_handle) = 0;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__CREATE_TIMER_INTERFACE_H_
