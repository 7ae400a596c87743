#ifndef RCLCPP__TIME_HPP_
#define RCLCPP__TIME_HPP_

#include "builtin_interfaces/msg/time.hpp"
#include "rcl/time.h"
#include "rclcpp/duration.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class Clock;

/// A point in time of one clock type. Comparing or subtracting times of different clock
/// types throws std::runtime_error.
class RCLCPP_PUBLIC Time
{
public:
  /// \throws std::runtime_error if seconds are negative
  Time(int32_t seconds, uint32_t nanoseconds, rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  explicit Time(int64_t nanoseconds = 0, rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  Time(const Time & rhs);

  Time(Time && rhs) noexcept;

  /// \throws std::runtime_error if the seconds of the message are negative
  Time(  // NOLINT(runtime/explicit)
      const builtin_interfaces::msg::Time & time_msg,
      rcl_clock_type_t clock_type = RCL_ROS_TIME);

  explicit Time(const rcl_time_point_t & time_point);

  virtual ~Time();

  operator builtin_interfaces::msg::Time() const;

  /// Copies the value and the clock type of rhs.
  Time & operator=(const Time & rhs);

  Time & operator=(Time && rhs) noexcept;

  /// Takes the message value with clock type RCL_ROS_TIME.
  Time & operator=(const builtin_interfaces::msg::Time & time_msg);

  bool operator==(const rclcpp::Time & rhs) const;
  bool operator!=(const rclcpp::Time & rhs) const;
  bool operator<(const rclcpp::Time & rhs) const;
  bool operator<=(const rclcpp::Time & rhs) const;
  bool operator>=(const rclcpp::Time & rhs) const;
  bool operator>(const rclcpp::Time & rhs) const;

  Time operator+(const rclcpp::Duration & rhs) const;
  Duration operator-(const rclcpp::Time & rhs) const;
  Time operator-(const rclcpp::Duration & rhs) const;
  Time & operator+=(const rclcpp::Duration & rhs);
  Time & operator-=(const rclcpp::Duration & rhs);

  rcl_time_point_value_t nanoseconds() const;

  /// Largest representable time (INT32_MAX seconds and 999999999 ns).
  static Time max();

  /// Seconds since the epoch as a floating point number.
  double seconds() const;

  rcl_clock_type_t get_clock_type() const;

private:
  rcl_time_point_t rcl_time_;
  friend Clock;
};

RCLCPP_PUBLIC
Time operator+(const rclcpp::Duration & lhs, const rclcpp::Time & rhs);

}  // namespace rclcpp

#endif  // RCLCPP__TIME_HPP_
