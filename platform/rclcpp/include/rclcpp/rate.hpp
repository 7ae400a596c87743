#ifndef RCLCPP__RATE_HPP_
#define RCLCPP__RATE_HPP_

#include <chrono>
#include <memory>

#include "rclcpp/macros.hpp"
#include "rclcpp/utilities.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class RateBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(RateBase)

  virtual ~RateBase() {}
  virtual bool sleep() = 0;
  virtual bool is_steady() const = 0;
  virtual void reset() = 0;
};

using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::nanoseconds;

/// Keeps a loop at a fixed period. sleep() waits for the rest of the current period through
/// the interruptible rclcpp::sleep_for (so it returns early at shutdown).
template <class Clock = std::chrono::high_resolution_clock>
class GenericRate : public RateBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericRate)

  explicit GenericRate(double rate)
      : GenericRate<Clock>(duration_cast<nanoseconds>(duration<double>(1.0 / rate)))
  {
  }

  explicit GenericRate(std::chrono::nanoseconds period)
      : period_(period), last_interval_(Clock::now())
  {
  }

  /// Sleeps until one period after the previous interval. Returns false without sleeping if
  /// the period is already over; after a whole missed period the interval restarts from now.
  virtual bool sleep()
  {
    auto now = Clock::now();
    auto next_interval = last_interval_ + period_;
    // Time went backwards: start a new interval from now.
    if (now < last_interval_) {
      next_interval = now + period_;
    }
    auto time_to_sleep = next_interval - now;
    last_interval_ += period_;
    if (time_to_sleep <= std::chrono::seconds(0)) {
      // A whole cycle was missed: restart the schedule instead of trying to catch up.
      if (now > next_interval + period_) {
        last_interval_ = now + period_;
      }
      return false;
    }
    rclcpp::sleep_for(time_to_sleep);
    return true;
  }

  virtual bool is_steady() const { return Clock::is_steady; }

  virtual void reset() { last_interval_ = Clock::now(); }

  std::chrono::nanoseconds period() const { return period_; }

private:
  RCLCPP_DISABLE_COPY(GenericRate)

  std::chrono::nanoseconds period_;
  using ClockDurationNano = std::chrono::duration<typename Clock::rep, std::nano>;
  std::chrono::time_point<Clock, ClockDurationNano> last_interval_;
};

using Rate = GenericRate<std::chrono::system_clock>;
using WallRate = GenericRate<std::chrono::steady_clock>;

}  // namespace rclcpp

#endif  // RCLCPP__RATE_HPP_
