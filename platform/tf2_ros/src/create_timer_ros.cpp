#include "tf2_ros/create_timer_ros.h"

#include <functional>
#include <mutex>

namespace tf2_ros {

CreateTimerROS::CreateTimerROS(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
    rclcpp::node_interfaces::NodeTimersInterface::SharedPtr node_timers,
    rclcpp::CallbackGroup::SharedPtr callback_group)
    : node_base_(node_base),
      node_timers_(node_timers),
      next_timer_handle_index_(0),
      callback_group_(callback_group)
{
}

CreateTimerROS::~CreateTimerROS()
{
  std::lock_guard<std::mutex> lock(timers_map_mutex_);
  for (auto & entry : timers_map_) {
    entry.second->cancel();
  }
  timers_map_.clear();
}

TimerHandle CreateTimerROS::createTimer(
    rclcpp::Clock::SharedPtr clock, const tf2::Duration & period, TimerCallbackType callback)
{
  std::lock_guard<std::mutex> lock(timers_map_mutex_);
  auto timer_handle_index = next_timer_handle_index_++;
  auto timer = rclcpp::create_timer<std::function<void()>>(
      node_base_,
      node_timers_,
      clock,
      period,
      std::bind(&CreateTimerROS::timerCallback, this, timer_handle_index, callback),
      callback_group_);
  timers_map_[timer_handle_index] = timer;
  return timer_handle_index;
}

void CreateTimerROS::cancel(const TimerHandle & timer_handle)
{
  std::lock_guard<std::mutex> lock(timers_map_mutex_);
  cancelNoLock(timer_handle);
}

void CreateTimerROS::cancelNoLock(const TimerHandle & timer_handle)
{
  auto timer_it = timers_map_.find(timer_handle);
  if (timer_it == timers_map_.end()) {
    throw InvalidTimerHandleException("Invalid timer handle in cancel()");
  }
  timer_it->second->cancel();
}

void CreateTimerROS::reset(const TimerHandle & timer_handle)
{
  std::lock_guard<std::mutex> lock(timers_map_mutex_);
  auto timer_it = timers_map_.find(timer_handle);
  if (timer_it == timers_map_.end()) {
    throw InvalidTimerHandleException("Invalid timer handle in reset()");
  }
  timer_it->second->reset();
}

void CreateTimerROS::remove(const TimerHandle & timer_handle)
{
  std::lock_guard<std::mutex> lock(timers_map_mutex_);
  auto timer_it = timers_map_.find(timer_handle);
  if (timer_it == timers_map_.end()) {
    throw InvalidTimerHandleException("Invalid timer handle in remove()");
  }
  timer_it->second->cancel();
  timers_map_.erase(timer_it);
}

void CreateTimerROS::timerCallback(const TimerHandle & timer_handle, TimerCallbackType callback)
{
  callback(timer_handle);
}

}  // namespace tf2_ros
