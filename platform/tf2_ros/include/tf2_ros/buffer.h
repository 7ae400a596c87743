// The tf2 buffer of a ROS node: BufferCore plus waiting lookups on a ROS clock.
#ifndef TF2_ROS__BUFFER_H_
#define TF2_ROS__BUFFER_H_

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_ros/async_buffer_interface.h"
#include "tf2_ros/buffer_interface.h"
#include "tf2_ros/create_timer_interface.h"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// Buffer with waiting lookups. A wait (canTransform / lookupTransform with a timeout) only
/// waits when another thread feeds the buffer (setUsingDedicatedThread(true), which a
/// TransformListener with its own thread sets); otherwise it logs an error and does not wait.
///
/// Lock order: BufferCore's request mutexes before timer_to_request_map_mutex_ (transformable
/// callbacks take it), timer_to_request_map_mutex_ before the timer interface's own mutex.
class Buffer : public BufferInterface, public AsyncBufferInterface, public tf2::BufferCore
{
public:
  using tf2::BufferCore::canTransform;
  using tf2::BufferCore::lookupTransform;
  using SharedPtr = std::shared_ptr<tf2_ros::Buffer>;

  /// Throws std::invalid_argument for a null clock. With a node, errors log on its logger.
  TF2_ROS_PUBLIC Buffer(
      rclcpp::Clock::SharedPtr clock,
      tf2::Duration cache_time = tf2::Duration(tf2::BUFFER_CORE_DEFAULT_CACHE_TIME),
      rclcpp::Node::SharedPtr node = rclcpp::Node::SharedPtr());

  /// Waits as canTransform with a timeout, then looks up without waiting (throws if the data
  /// is still missing).
  TF2_ROS_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      const tf2::Duration timeout) const override;

  TF2_ROS_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const rclcpp::Time & time,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout));
  }

  TF2_ROS_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame,
      const tf2::Duration timeout) const override;

  TF2_ROS_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const rclcpp::Time & target_time,
      const std::string & source_frame,
      const rclcpp::Time & source_time,
      const std::string & fixed_frame,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(
        target_frame,
        fromRclcpp(target_time),
        source_frame,
        fromRclcpp(source_time),
        fixed_frame,
        fromRclcpp(timeout));
  }

  /// Polls every 10 ms until available, `timeout` passed on the buffer's clock, or the context
  /// shut down; false without waiting when no dedicated thread feeds the buffer.
  TF2_ROS_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & target_time,
      const tf2::Duration timeout,
      std::string * errstr = NULL) const override;

  TF2_ROS_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const rclcpp::Time & time,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
      std::string * errstr = NULL) const
  {
    return canTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout), errstr);
  }

  TF2_ROS_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame,
      const tf2::Duration timeout,
      std::string * errstr = NULL) const override;

  TF2_ROS_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const rclcpp::Time & target_time,
      const std::string & source_frame,
      const rclcpp::Time & source_time,
      const std::string & fixed_frame,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
      std::string * errstr = NULL) const
  {
    return canTransform(
        target_frame,
        fromRclcpp(target_time),
        source_frame,
        fromRclcpp(source_time),
        fixed_frame,
        fromRclcpp(timeout),
        errstr);
  }

  /// Needs a timer interface (CreateTimerInterfaceException otherwise). Available now: the
  /// promise is set and callback runs on the calling thread before this returns. Never
  /// available (too old): a LookupException, also on the calling thread. Otherwise the callback
  /// runs later, on the thread that adds the data, or with TimeoutException("Timed out waiting
  /// for transform") from a one-shot timer of `timeout`, on the thread serving that timer.
  TF2_ROS_PUBLIC
  TransformStampedFuture waitForTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      const tf2::Duration & timeout,
      TransformReadyCallback callback) override;

  TF2_ROS_PUBLIC
  TransformStampedFuture waitForTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const rclcpp::Time & time,
      const rclcpp::Duration & timeout,
      TransformReadyCallback callback)
  {
    return waitForTransform(
        target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout), callback);
  }

  TF2_ROS_PUBLIC
  void cancel(const TransformStampedFuture & ts_future) override;

  TF2_ROS_PUBLIC
  void setCreateTimerInterface(CreateTimerInterface::SharedPtr create_timer_interface)
  {
    timer_interface_ = create_timer_interface;
  }

private:
  // Progress of one waitForTransform; guarded by timer_to_request_map_mutex_.
  struct WaitState
  {
    bool timer_registered = false;
    bool done = false;
    bool early = false;
    tf2::TransformableResult early_result = tf2::TransformFailure;
    TimerHandle timer = 0;
  };

  void timerCallback(
      const TimerHandle & timer_handle,
      std::shared_ptr<std::promise<geometry_msgs::msg::TransformStamped>> promise,
      TransformStampedFuture future,
      TransformReadyCallback callback,
      std::shared_ptr<WaitState> state,
      tf2::TransformableRequestHandle request_handle);

  // Sets the promise (the transform, or an exception) and calls callback(future).
  void finishWait(
      const std::shared_ptr<std::promise<geometry_msgs::msg::TransformStamped>> & promise,
      const TransformStampedFuture & future,
      const TransformReadyCallback & callback,
      const std::string & target_frame,
      const std::string & source_frame,
      tf2::TimePoint time,
      tf2::TransformableResult result);

  void onTimeJump(const rcl_time_jump_t & jump);

  bool checkAndErrorDedicatedThreadPresent(std::string * errstr) const;

  rclcpp::Logger getLogger() const;

  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Node::SharedPtr node_;
  CreateTimerInterface::SharedPtr timer_interface_;
  std::unordered_map<TimerHandle, tf2::TransformableRequestHandle> timer_to_request_map_;
  std::mutex timer_to_request_map_mutex_;
  rclcpp::JumpHandler::SharedPtr jump_handler_;
};

static const char threading_error[] =
    "Do not call canTransform or lookupTransform with a timeout "
    "unless you are using another thread for populating data. Without a dedicated thread it will "
    "always timeout.  If you have a separate thread servicing tf messages, call "
    "setUsingDedicatedThread(true) on your Buffer instance.";

}  // namespace tf2_ros

#endif  // TF2_ROS__BUFFER_H_
