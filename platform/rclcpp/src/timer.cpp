#include "rclcpp/timer.hpp"

#include <chrono>
#include <limits>
#include <memory>

#include "rclcpp/detail/wake.hpp"

namespace rclcpp {

namespace {
// Time points far in the future (a period of Duration::max(), as a "never" timeout) must not wrap
// around into the past, which would make the timer fire on every spin.
int64_t saturatingAdd(int64_t a, int64_t b)
{
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) {
    return std::numeric_limits<int64_t>::max();
  }
  return a + b;
}
}  // namespace

TimerBase::TimerBase(
    Clock::SharedPtr clock, std::chrono::nanoseconds period, rclcpp::Context::SharedPtr context)
    : clock_(std::move(clock)), context_(std::move(context)), period_ns_(period.count())
{
  if (!clock_) {
    throw std::invalid_argument("clock argument must not be null");
  }
  if (period_ns_ < 0) {
    throw std::invalid_argument("timer period must be non-negative");
  }
  next_call_ns_ = saturatingAdd(clock_->now().nanoseconds(), period_ns_);
}

TimerBase::~TimerBase() = default;

void TimerBase::cancel()
{
  std::lock_guard<std::mutex> lock(mutex_);
  canceled_ = true;
}

bool TimerBase::is_canceled()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

void TimerBase::reset()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = false;
    next_call_ns_ = saturatingAdd(clock_->now().nanoseconds(), period_ns_);
  }
  detail::wake_all();
}

bool TimerBase::call()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return false;
  }
  const int64_t now = clock_->now().nanoseconds();
  if (now < next_call_ns_) {
    return false;
  }
  // Advance by exactly one period; after missed cycles, by as many periods as needed.
  next_call_ns_ = saturatingAdd(next_call_ns_, period_ns_);
  if (next_call_ns_ < now) {
    if (period_ns_ == 0) {
      next_call_ns_ = now;
    } else {
      const int64_t now_ahead = now - next_call_ns_;
      const int64_t periods_ahead = 1 + (now_ahead - 1) / period_ns_;
      next_call_ns_ = saturatingAdd(next_call_ns_, periods_ahead * period_ns_);
    }
  }
  return true;
}

std::chrono::nanoseconds TimerBase::time_until_trigger()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return std::chrono::nanoseconds::max();
  }
  const int64_t now = clock_->now().nanoseconds();
  if (next_call_ns_ == std::numeric_limits<int64_t>::max()) {
    return std::chrono::nanoseconds::max();
  }
  return std::chrono::nanoseconds(next_call_ns_ - now);
}

bool TimerBase::is_ready()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return !canceled_ && clock_->now().nanoseconds() >= next_call_ns_;
}

bool TimerBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

}  // namespace rclcpp
