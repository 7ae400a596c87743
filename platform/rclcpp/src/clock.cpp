#include "rclcpp/clock.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <utility>

#include "rclcpp/utilities.hpp"

namespace rclcpp {

JumpHandler::JumpHandler(
    pre_callback_t pre_callback,
    post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold)
    : pre_callback(std::move(pre_callback)),
      post_callback(std::move(post_callback)),
      notice_threshold(threshold)
{
}

Clock::Clock(rcl_clock_type_t clock_type) : clock_type_(clock_type)
{
  if (clock_type == RCL_CLOCK_UNINITIALIZED) {
    throw std::invalid_argument("clock type must not be RCL_CLOCK_UNINITIALIZED");
  }
}

Clock::~Clock() = default;

Time Clock::now() const
{
  int64_t ns = 0;
  if (clock_type_ == RCL_STEADY_TIME) {
    ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
             .count();
  } else {
    // ROS time equals system time while no simulated time source exists.
    ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
             .count();
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

bool Clock::ros_time_is_active() { return false; }

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
