#ifndef RCLCPP__GUARD_CONDITION_HPP_
#define RCLCPP__GUARD_CONDITION_HPP_

#include <atomic>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/wake.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp {

/// A condition that wakes waiting executors when triggered.
class GuardCondition
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(GuardCondition)

  explicit GuardCondition(
      rclcpp::Context::SharedPtr context = rclcpp::contexts::get_global_default_context())
      : context_(context)
  {
  }

  rclcpp::Context::SharedPtr get_context() const { return context_; }

  void trigger()
  {
    triggered_.store(true);
    detail::wake_all();
  }

  bool exchange_in_use_by_wait_set_state(bool in_use_state)
  {
    return in_use_by_wait_set_.exchange(in_use_state);
  }

private:
  rclcpp::Context::SharedPtr context_;
  std::atomic<bool> triggered_{false};
  std::atomic<bool> in_use_by_wait_set_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__GUARD_CONDITION_HPP_
