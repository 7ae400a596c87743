// Waiting for a transform without blocking: futures and their callbacks.
#ifndef TF2_ROS__ASYNC_BUFFER_INTERFACE_H_
#define TF2_ROS__ASYNC_BUFFER_INTERFACE_H_

#include <functional>
#include <future>
#include <string>
#include <utility>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// A shared future of a transform that also remembers its transformable request.
class TransformStampedFuture : public std::shared_future<geometry_msgs::msg::TransformStamped>
{
  using BaseType = std::shared_future<geometry_msgs::msg::TransformStamped>;

public:
  TransformStampedFuture() noexcept : BaseType() {}

  TransformStampedFuture(const BaseType & futureTransformStamped) noexcept  // NOLINT
      : BaseType(futureTransformStamped)
  {
  }

  TransformStampedFuture(BaseType && futureTransformStamped) noexcept  // NOLINT
      : BaseType(std::move(futureTransformStamped))
  {
  }

  TransformStampedFuture(std::future<geometry_msgs::msg::TransformStamped> &&
                             futureTransformStamped) noexcept  // NOLINT
      : BaseType(std::move(futureTransformStamped))
  {
  }

  void setHandle(const tf2::TransformableRequestHandle handle) { handle_ = handle; }

  tf2::TransformableRequestHandle getHandle() const noexcept { return handle_; }

private:
  tf2::TransformableRequestHandle handle_{};
};

using TransformReadyCallback = std::function<void(const TransformStampedFuture &)>;

/// Buffers that can notify when a transform becomes available.
class AsyncBufferInterface
{
public:
  TF2_ROS_PUBLIC
  virtual ~AsyncBufferInterface() = default;

  /// Calls `callback` with a future holding the transform, or an exception when it is not
  /// available within `timeout`.
  TF2_ROS_PUBLIC
  virtual TransformStampedFuture waitForTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      const tf2::Duration & timeout,
      TransformReadyCallback callback) = 0;

  /// Drops a pending wait; its callback is not called.
  TF2_ROS_PUBLIC
  virtual void cancel(const TransformStampedFuture & ts_future) = 0;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__ASYNC_BUFFER_INTERFACE_H_
