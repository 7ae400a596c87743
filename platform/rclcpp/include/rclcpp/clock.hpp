#ifndef RCLCPP__CLOCK_HPP_
#define RCLCPP__CLOCK_HPP_

#include <functional>
#include <memory>
#include <mutex>

#include "rcl/time.h"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class RCLCPP_PUBLIC JumpHandler
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(JumpHandler)

  using pre_callback_t = std::function<void()>;
  using post_callback_t = std::function<void(const rcl_time_jump_t &)>;

  JumpHandler(
      pre_callback_t pre_callback,
      post_callback_t post_callback,
      const rcl_jump_threshold_t & threshold);

  pre_callback_t pre_callback;
  post_callback_t post_callback;
  rcl_jump_threshold_t notice_threshold;
};

/// A clock of one type. RCL_ROS_TIME reads the system time unless its ROS time override is
/// enabled through the clock handle (rcl_enable_ros_time_override, rcl_set_ros_time_override),
/// as a time source does for simulated time; `/clock` itself is not supported. Jump callbacks are
/// stored but never called.
class RCLCPP_PUBLIC Clock
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Clock)

  explicit Clock(rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  ~Clock();

  Time now() const;

  /// Sleeps until the clock reaches until, or the context shuts down.
  /// \return true if until was reached
  /// \throws std::runtime_error if until has another clock type
  bool sleep_until(Time until, Context::SharedPtr context = contexts::get_global_default_context());

  bool sleep_for(
      Duration rel_time, Context::SharedPtr context = contexts::get_global_default_context());

  bool ros_time_is_active();

  rcl_clock_type_t get_clock_type() const noexcept;

  /// The rcl handle of the clock, for the rcl time override functions.
  rcl_clock_t * get_clock_handle() noexcept;

  std::mutex & get_clock_mutex() noexcept;

  JumpHandler::SharedPtr create_jump_callback(
      JumpHandler::pre_callback_t pre_callback,
      JumpHandler::post_callback_t post_callback,
      const rcl_jump_threshold_t & threshold);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  rcl_clock_type_t clock_type_;
  std::mutex clock_mutex_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLOCK_HPP_
