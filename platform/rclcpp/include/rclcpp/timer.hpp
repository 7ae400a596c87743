#ifndef RCLCPP__TIMER_HPP_
#define RCLCPP__TIMER_HPP_

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// A periodic trigger on one clock. An executor serving the timer's callback group runs the
/// callback when the timer is due; after a missed cycle the next call moves forward by whole
/// periods.
class RCLCPP_PUBLIC TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(TimerBase)

  TimerBase(
      Clock::SharedPtr clock, std::chrono::nanoseconds period, rclcpp::Context::SharedPtr context);

  virtual ~TimerBase();

  /// Stops the timer until reset().
  void cancel();

  bool is_canceled();

  /// Restarts the period from now (and un-cancels).
  void reset();

  /// If the timer is due and not canceled, advances its next call time and returns true:
  /// the caller then runs execute_callback().
  virtual bool call();

  virtual void execute_callback() = 0;

  const Clock::SharedPtr & get_clock() const { return clock_; }

  /// Time until the next call (negative if overdue; max() when canceled).
  std::chrono::nanoseconds time_until_trigger();

  virtual bool is_steady() = 0;

  bool is_ready();

  bool exchange_in_use_by_wait_set_state(bool in_use_state);

protected:
  Clock::SharedPtr clock_;
  rclcpp::Context::SharedPtr context_;

private:
  std::mutex mutex_;
  int64_t period_ns_;
  int64_t next_call_ns_;
  bool canceled_{false};
  std::atomic<bool> in_use_by_wait_set_{false};
};

using VoidCallbackType = std::function<void()>;
using TimerCallbackType = std::function<void(TimerBase &)>;

/// A timer whose callback is void() or void(TimerBase &).
template <
    typename FunctorT,
    typename std::enable_if<
        std::is_invocable_v<FunctorT &> || std::is_invocable_v<FunctorT &, TimerBase &>>::type * =
        nullptr>
class GenericTimer : public TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericTimer)

  explicit GenericTimer(
      Clock::SharedPtr clock,
      std::chrono::nanoseconds period,
      FunctorT && callback,
      rclcpp::Context::SharedPtr context)
      : TimerBase(clock, period, context), callback_(std::forward<FunctorT>(callback))
  {
  }

  virtual ~GenericTimer() { TimerBase::cancel(); }

  void execute_callback() override { execute_callback_delegate<>(); }

  template <
      typename CallbackT = FunctorT,
      typename std::enable_if<std::is_invocable_v<CallbackT &>>::type * = nullptr>
  void execute_callback_delegate()
  {
    callback_();
  }

  template <
      typename CallbackT = FunctorT,
      typename std::enable_if<
          !std::is_invocable_v<CallbackT &> &&
          std::is_invocable_v<CallbackT &, TimerBase &>>::type * = nullptr>
  void execute_callback_delegate()
  {
    callback_(*this);
  }

  bool is_steady() override { return clock_->get_clock_type() == RCL_STEADY_TIME; }

protected:
  RCLCPP_DISABLE_COPY(GenericTimer)

  FunctorT callback_;
};

/// A timer on the steady clock.
template <
    typename FunctorT,
    typename std::enable_if<
        std::is_invocable_v<FunctorT &> || std::is_invocable_v<FunctorT &, TimerBase &>>::type * =
        nullptr>
class WallTimer : public GenericTimer<FunctorT>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallTimer)

  WallTimer(
      std::chrono::nanoseconds period, FunctorT && callback, rclcpp::Context::SharedPtr context)
      : GenericTimer<FunctorT>(
            std::make_shared<Clock>(RCL_STEADY_TIME), period, std::move(callback), context)
  {
  }

  bool is_steady() override { return true; }

protected:
  RCLCPP_DISABLE_COPY(WallTimer)
};

}  // namespace rclcpp

#endif  // RCLCPP__TIMER_HPP_
