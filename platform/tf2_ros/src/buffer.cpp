#include "tf2_ros/buffer.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace tf2_ros {

namespace {

void conditionally_append_timeout_info(
    std::string * errstr,
    const rclcpp::Time & start_time,
    const rclcpp::Time & current_time,
    const rclcpp::Duration & timeout)
{
  if (errstr) {
    std::stringstream ss;
    ss << ". canTransform returned after "
       << tf2::durationToSec(fromRclcpp(current_time - start_time)) << " timeout was "
       << tf2::durationToSec(fromRclcpp(timeout)) << ".";
    (*errstr) += ss.str();
  }
}

// Polls `can_transform` (without an error string) every 10 ms until it holds, `timeout` passes
// on `clock`, the clock is set back by more than 3 s (a bag loop: do not wait) or rclcpp shuts
// down; then asks once more with `errstr` and appends how long it waited.
template <typename CanTransformT>
bool waitToTransform(
    rclcpp::Clock & clock,
    const tf2::Duration timeout,
    std::string * errstr,
    CanTransformT can_transform)
{
  rclcpp::Duration rclcpp_timeout(toRclcpp(timeout));
  rclcpp::Time start_time = clock.now();
  while (clock.now() < start_time + rclcpp_timeout && !can_transform(nullptr) &&
         (clock.now() + rclcpp::Duration(3, 0) >= start_time) && rclcpp::ok()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool retval = can_transform(errstr);
  rclcpp::Time current_time = clock.now();
  conditionally_append_timeout_info(errstr, start_time, current_time, rclcpp_timeout);
  return retval;
}

}  // namespace

Buffer::Buffer(
    rclcpp::Clock::SharedPtr clock, tf2::Duration cache_time, rclcpp::Node::SharedPtr node)
    : BufferCore(cache_time), clock_(clock), node_(node), timer_interface_(nullptr)
{
  if (nullptr == clock_) {
    throw std::invalid_argument("clock must be a valid instance");
  }

  auto post_jump_cb = [this](const rcl_time_jump_t & jump_info) { onTimeJump(jump_info); };

  rcl_jump_threshold_t jump_threshold;
  // Clear the buffer when ROS time is switched on or off, or time jumps backwards.
  jump_threshold.on_clock_change = true;
  jump_threshold.min_forward.nanoseconds = 0;
  jump_threshold.min_backward.nanoseconds = -1;

  jump_handler_ = clock_->create_jump_callback(nullptr, post_jump_cb, jump_threshold);
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
    const std::string & target_frame,
    const std::string & source_frame,
    const tf2::TimePoint & lookup_time,
    const tf2::Duration timeout) const
{
  // The error string keeps canTransform from printing; the lookup throws the real error.
  std::string error;
  canTransform(target_frame, source_frame, lookup_time, timeout, &error);
  return lookupTransform(target_frame, source_frame, lookup_time);
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
    const std::string & target_frame,
    const tf2::TimePoint & target_time,
    const std::string & source_frame,
    const tf2::TimePoint & source_time,
    const std::string & fixed_frame,
    const tf2::Duration timeout) const
{
  std::string error;
  canTransform(target_frame, target_time, source_frame, source_time, fixed_frame, timeout, &error);
  return lookupTransform(target_frame, target_time, source_frame, source_time, fixed_frame);
}

void Buffer::onTimeJump(const rcl_time_jump_t & jump)
{
  if (RCL_ROS_TIME_ACTIVATED == jump.clock_change ||
      RCL_ROS_TIME_DEACTIVATED == jump.clock_change) {
    RCLCPP_WARN(getLogger(), "Detected time source change. Clearing TF buffer.");
    clear();
  } else if (jump.delta.nanoseconds < 0) {
    RCLCPP_WARN(getLogger(), "Detected jump back in time. Clearing TF buffer.");
    clear();
  }
}

bool Buffer::canTransform(
    const std::string & target_frame,
    const std::string & source_frame,
    const tf2::TimePoint & time,
    const tf2::Duration timeout,
    std::string * errstr) const
{
  if (!checkAndErrorDedicatedThreadPresent(errstr)) {
    return false;
  }

  return waitToTransform(*clock_, timeout, errstr, [&](std::string * error) {
    return canTransform(target_frame, source_frame, time, error);
  });
}

bool Buffer::canTransform(
    const std::string & target_frame,
    const tf2::TimePoint & target_time,
    const std::string & source_frame,
    const tf2::TimePoint & source_time,
    const std::string & fixed_frame,
    const tf2::Duration timeout,
    std::string * errstr) const
{
  if (!checkAndErrorDedicatedThreadPresent(errstr)) {
    return false;
  }

  return waitToTransform(*clock_, timeout, errstr, [&](std::string * error) {
    return canTransform(target_frame, target_time, source_frame, source_time, fixed_frame, error);
  });
}

TransformStampedFuture Buffer::waitForTransform(
    const std::string & target_frame,
    const std::string & source_frame,
    const tf2::TimePoint & time,
    const tf2::Duration & timeout,
    TransformReadyCallback callback)
{
  if (nullptr == timer_interface_) {
    throw CreateTimerInterfaceException("timer interface not set before call to waitForTransform");
  }

  auto promise = std::make_shared<std::promise<geometry_msgs::msg::TransformStamped>>();
  TransformStampedFuture future(promise->get_future());
  auto state = std::make_shared<WaitState>();

  auto cb = [this, promise, callback, future, state](
                tf2::TransformableRequestHandle request_handle,
                const std::string & target_frame,
                const std::string & source_frame,
                tf2::TimePoint time,
                tf2::TransformableResult result) {
    (void)request_handle;
    {
      std::lock_guard<std::mutex> lock(timer_to_request_map_mutex_);
      if (state->done) {
        // The timeout won.
        return;
      }
      if (!state->timer_registered) {
        // Data arrived between the request and its timer: waitForTransform finishes it.
        state->early = true;
        state->early_result = result;
        return;
      }
      state->done = true;
      timer_interface_->remove(state->timer);
      timer_to_request_map_.erase(state->timer);
    }
    finishWait(promise, future, callback, target_frame, source_frame, time, result);
  };

  auto handle = addTransformableRequest(cb, target_frame, source_frame, time);
  future.setHandle(handle);
  if (0 == handle) {
    finishWait(
        promise, future, callback, target_frame, source_frame, time, tf2::TransformAvailable);
  } else if (0xffffffffffffffffULL == handle) {
    finishWait(promise, future, callback, target_frame, source_frame, time, tf2::TransformFailure);
  } else {
    bool early = false;
    tf2::TransformableResult early_result = tf2::TransformFailure;
    {
      std::lock_guard<std::mutex> lock(timer_to_request_map_mutex_);
      if (state->early) {
        state->done = true;
        early = true;
        early_result = state->early_result;
      } else {
        state->timer = timer_interface_->createTimer(
            clock_,
            timeout,
            std::bind(
                &Buffer::timerCallback,
                this,
                std::placeholders::_1,
                promise,
                future,
                callback,
                state,
                handle));
        state->timer_registered = true;
        timer_to_request_map_[state->timer] = handle;
      }
    }
    if (early) {
      finishWait(promise, future, callback, target_frame, source_frame, time, early_result);
    }
  }
  return future;
}

void Buffer::finishWait(
    const std::shared_ptr<std::promise<geometry_msgs::msg::TransformStamped>> & promise,
    const TransformStampedFuture & future,
    const TransformReadyCallback & callback,
    const std::string & target_frame,
    const std::string & source_frame,
    tf2::TimePoint time,
    tf2::TransformableResult result)
{
  if (result == tf2::TransformAvailable) {
    try {
      promise->set_value(lookupTransform(target_frame, source_frame, time));
    } catch (const tf2::TransformException &) {
      promise->set_exception(std::current_exception());
    }
  } else {
    promise->set_exception(std::make_exception_ptr(
        tf2::LookupException("Failed to transform from " + source_frame + " to " + target_frame)));
  }
  callback(future);
}

void Buffer::cancel(const TransformStampedFuture & ts_future)
{
  cancelTransformableRequest(ts_future.getHandle());

  std::lock_guard<std::mutex> lock(timer_to_request_map_mutex_);
  auto iter = std::find_if(
      timer_to_request_map_.begin(), timer_to_request_map_.end(), [&ts_future](const auto & pair) {
        return ts_future.getHandle() == pair.second;
      });
  if (iter != timer_to_request_map_.end()) {
    timer_interface_->remove(iter->first);
    timer_to_request_map_.erase(iter);
  }
}

void Buffer::timerCallback(
    const TimerHandle & timer_handle,
    std::shared_ptr<std::promise<geometry_msgs::msg::TransformStamped>> promise,
    TransformStampedFuture future,
    TransformReadyCallback callback,
    std::shared_ptr<WaitState> state,
    tf2::TransformableRequestHandle request_handle)
{
  {
    std::lock_guard<std::mutex> lock(timer_to_request_map_mutex_);
    // Gone from the map: completed or cancelled.
    if (state->done || timer_to_request_map_.find(timer_handle) == timer_to_request_map_.end()) {
      return;
    }
    state->done = true;
    timer_to_request_map_.erase(timer_handle);
    timer_interface_->remove(timer_handle);
  }

  cancelTransformableRequest(request_handle);
  promise->set_exception(
      std::make_exception_ptr(tf2::TimeoutException("Timed out waiting for transform")));
  callback(future);
}

bool Buffer::checkAndErrorDedicatedThreadPresent(std::string * error_str) const
{
  if (isUsingDedicatedThread()) {
    return true;
  }
  if (error_str) {
    *error_str = tf2_ros::threading_error;
  }
  RCLCPP_ERROR(getLogger(), "%s", tf2_ros::threading_error);
  return false;
}

rclcpp::Logger Buffer::getLogger() const
{
  return node_ ? node_->get_logger() : rclcpp::get_logger("tf2_buffer");
}

}  // namespace tf2_ros
