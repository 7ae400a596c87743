#include "rclcpp/clock.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <utility>

#include "rclcpp/utilities.hpp"

namespace {

// The private storage of an rcl clock handle: the ROS time override.
struct RosTimeOverride
{
  std::atomic<bool> enabled{false};
  std::atomic<int64_t> value{0};
};

RosTimeOverride * overrideOf(rcl_clock_t * clock)
{
  if (clock == nullptr || clock->type != RCL_ROS_TIME || clock->data == nullptr) {
    return nullptr;
  }
  return static_cast<RosTimeOverride *>(clock->data);
}

int64_t systemNow()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

extern "C" {

rcl_ret_t rcl_enable_ros_time_override(rcl_clock_t * clock)
{
  if (clock == nullptr) {
    return RCL_RET_INVALID_ARGUMENT;
  }
  RosTimeOverride * storage = overrideOf(clock);
  if (storage == nullptr) {
    return RCL_RET_ERROR;
  }
  storage->enabled.store(true);
  return RCL_RET_OK;
}

rcl_ret_t rcl_disable_ros_time_override(rcl_clock_t * clock)
{
  if (clock == nullptr) {
    return RCL_RET_INVALID_ARGUMENT;
  }
  RosTimeOverride * storage = overrideOf(clock);
  if (storage == nullptr) {
    return RCL_RET_ERROR;
  }
  storage->enabled.store(false);
  return RCL_RET_OK;
}

rcl_ret_t rcl_is_enabled_ros_time_override(rcl_clock_t * clock, bool * is_enabled)
{
  if (clock == nullptr || is_enabled == nullptr) {
    return RCL_RET_INVALID_ARGUMENT;
  }
  RosTimeOverride * storage = overrideOf(clock);
  if (storage == nullptr) {
    return RCL_RET_ERROR;
  }
  *is_enabled = storage->enabled.load();
  return RCL_RET_OK;
}

rcl_ret_t rcl_set_ros_time_override(rcl_clock_t * clock, rcl_time_point_value_t time_value)
{
  if (clock == nullptr) {
    return RCL_RET_INVALID_ARGUMENT;
  }
  RosTimeOverride * storage = overrideOf(clock);
  if (storage == nullptr) {
    return RCL_RET_ERROR;
  }
  storage->value.store(time_value);
  return RCL_RET_OK;
}

rcl_ret_t rcl_clock_get_now(rcl_clock_t * clock, rcl_time_point_value_t * time_point_value)
{
  if (clock == nullptr || time_point_value == nullptr) {
    return RCL_RET_INVALID_ARGUMENT;
  }
  switch (clock->type) {
    case RCL_ROS_TIME: {
      RosTimeOverride * storage = overrideOf(clock);
      *time_point_value =
          storage != nullptr && storage->enabled.load() ? storage->value.load() : systemNow();
      return RCL_RET_OK;
    }
    case RCL_SYSTEM_TIME:
      *time_point_value = systemNow();
      return RCL_RET_OK;
    case RCL_STEADY_TIME:
      *time_point_value = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
      return RCL_RET_OK;
    default:
      return RCL_RET_ERROR;
  }
}

}  // extern "C"

namespace rclcpp {

struct Clock::Impl
{
  rcl_clock_t handle{};
  RosTimeOverride ros_time_override;
};

JumpHandler::JumpHandler(
    pre_callback_t pre_callback,
    post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold)
    : pre_callback(std::move(pre_callback)),
      post_callback(std::move(post_callback)),
      notice_threshold(threshold)
{
}

Clock::Clock(rcl_clock_type_t clock_type) : impl_(std::make_unique<Impl>()), clock_type_(clock_type)
{
  if (clock_type == RCL_CLOCK_UNINITIALIZED) {
    throw std::invalid_argument("clock type must not be RCL_CLOCK_UNINITIALIZED");
  }
  impl_->handle.type = clock_type;
  impl_->handle.data = &impl_->ros_time_override;
}

Clock::~Clock() = default;

Time Clock::now() const
{
  // ROS time equals system time unless its override is enabled.
  rcl_time_point_value_t ns = 0;
  if (rcl_clock_get_now(&impl_->handle, &ns) != RCL_RET_OK) {
    throw std::runtime_error("could not get current time stamp");
  }
  return Time(ns, clock_type_);
}

bool Clock::sleep_until(Time until, Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  if (until.get_clock_type() != clock_type_) {
    throw std::runtime_error("until's clock type does not match this clock's type");
  }
  // Wake on shutdown through an on-shutdown callback, as the real clock does.
  std::mutex cv_mutex;
  std::condition_variable cv;
  bool shut_down = false;
  auto handle = context->add_on_shutdown_callback([&cv_mutex, &cv, &shut_down]() {
    {
      std::lock_guard<std::mutex> lock(cv_mutex);
      shut_down = true;
    }
    cv.notify_all();
  });

  {
    std::unique_lock<std::mutex> lock(cv_mutex);
    while (!shut_down && context->is_valid()) {
      const int64_t remaining = until.nanoseconds() - now().nanoseconds();
      if (remaining <= 0) {
        break;
      }
      // System time may jump; re-check against the clock at least every 100 ms.
      const auto step = std::min<int64_t>(remaining, 100000000);
      cv.wait_for(lock, std::chrono::nanoseconds(step));
    }
  }
  context->remove_on_shutdown_callback(handle);
  return now() >= until && context->is_valid();
}

bool Clock::sleep_for(Duration rel_time, Context::SharedPtr context)
{
  return sleep_until(now() + rel_time, context);
}

bool Clock::ros_time_is_active()
{
  if (clock_type_ != RCL_ROS_TIME) {
    return false;
  }
  bool enabled = false;
  rcl_is_enabled_ros_time_override(&impl_->handle, &enabled);
  return enabled;
}

rcl_clock_t * Clock::get_clock_handle() noexcept { return &impl_->handle; }

rcl_clock_type_t Clock::get_clock_type() const noexcept { return clock_type_; }

std::mutex & Clock::get_clock_mutex() noexcept { return clock_mutex_; }

JumpHandler::SharedPtr Clock::create_jump_callback(
    JumpHandler::pre_callback_t pre_callback,
    JumpHandler::post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold)
{
  // No time source can jump here, so the handler is never called.
  return std::make_shared<JumpHandler>(
      std::move(pre_callback), std::move(post_callback), threshold);
}

}  // namespace rclcpp
