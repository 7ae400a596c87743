#ifndef RCLCPP__DURATION_HPP_
#define RCLCPP__DURATION_HPP_

#include <chrono>

#include "builtin_interfaces/msg/duration.hpp"
#include "rcl/time.h"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

class Time;

/// A signed span of time in nanoseconds.
class RCLCPP_PUBLIC Duration
{
public:
  Duration(int32_t seconds, uint32_t nanoseconds);

  explicit Duration(std::chrono::nanoseconds nanoseconds);

  // Implicit from any std::chrono duration, as in the real library.
  template <class Rep, class Period>
  Duration(const std::chrono::duration<Rep, Period> & duration)  // NOLINT(runtime/explicit)
      : Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration))
  {
  }

  Duration(const builtin_interfaces::msg::Duration & duration_msg);  // NOLINT(runtime/explicit)

  explicit Duration(const rcl_duration_t & duration);

  Duration(const Duration & rhs);

  virtual ~Duration() = default;

  operator builtin_interfaces::msg::Duration() const;

  Duration & operator=(const Duration & rhs);
  Duration & operator=(const builtin_interfaces::msg::Duration & duration_msg);

  bool operator==(const rclcpp::Duration & rhs) const;
  bool operator!=(const rclcpp::Duration & rhs) const;
  bool operator<(const rclcpp::Duration & rhs) const;
  bool operator<=(const rclcpp::Duration & rhs) const;
  bool operator>=(const rclcpp::Duration & rhs) const;
  bool operator>(const rclcpp::Duration & rhs) const;

  Duration operator+(const rclcpp::Duration & rhs) const;
  Duration & operator+=(const rclcpp::Duration & rhs);
  Duration operator-(const rclcpp::Duration & rhs) const;
  Duration & operator-=(const rclcpp::Duration & rhs);
  Duration operator*(double scale) const;
  Duration & operator*=(double scale);

  /// Largest representable duration (INT32_MAX seconds and 999999999 ns).
  static Duration max();

  /// Seconds as a floating point number.
  double seconds() const;

  rcl_duration_value_t nanoseconds() const;

  rmw_time_t to_rmw_time() const;

  /// Converts seconds to a duration. Values beyond the int64 nanosecond range (including
  /// infinities) saturate; NaN gives zero.
  static Duration from_seconds(double seconds);

  static Duration from_nanoseconds(rcl_duration_value_t nanoseconds);

  static Duration from_rmw_time(rmw_time_t duration);

  template <class DurationT>
  DurationT to_chrono() const
  {
    return std::chrono::duration_cast<DurationT>(std::chrono::nanoseconds(this->nanoseconds()));
  }

private:
  rcl_duration_t rcl_duration_;

  Duration();
};

}  // namespace rclcpp

#endif  // RCLCPP__DURATION_HPP_
