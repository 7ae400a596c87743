#ifndef RCLCPP__CREATE_TIMER_HPP_
#define RCLCPP__CREATE_TIMER_HPP_

#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/duration.hpp"
#include "rclcpp/node_interfaces/get_node_interface.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/timer.hpp"

namespace rclcpp {

/// Creates a timer on the given clock, added to group (default: the node's default group).
template <typename CallbackT>
typename rclcpp::TimerBase::SharedPtr create_timer(
    std::shared_ptr<node_interfaces::NodeBaseInterface> node_base,
    std::shared_ptr<node_interfaces::NodeTimersInterface> node_timers,
    rclcpp::Clock::SharedPtr clock,
    rclcpp::Duration period,
    CallbackT && callback,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
{
  auto timer = rclcpp::GenericTimer<std::decay_t<CallbackT>>::make_shared(
      clock,
      period.to_chrono<std::chrono::nanoseconds>(),
      std::decay_t<CallbackT>(std::forward<CallbackT>(callback)),
      node_base->get_context());
  node_timers->add_timer(timer, group);
  return timer;
}

/// Same, taking the interfaces from a node.
template <typename NodeT, typename CallbackT>
typename rclcpp::TimerBase::SharedPtr create_timer(
    NodeT node,
    rclcpp::Clock::SharedPtr clock,
    rclcpp::Duration period,
    CallbackT && callback,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
{
  return create_timer(
      rclcpp::node_interfaces::get_node_base_interface(node),
      rclcpp::node_interfaces::get_node_timers_interface(node),
      clock,
      period,
      std::forward<CallbackT>(callback),
      group);
}

/// Creates a timer on the steady clock.
/// \throws std::invalid_argument for a null interface or a negative period
template <typename DurationRepT, typename DurationT, typename CallbackT>
typename rclcpp::WallTimer<CallbackT>::SharedPtr create_wall_timer(
    std::chrono::duration<DurationRepT, DurationT> period,
    CallbackT callback,
    rclcpp::CallbackGroup::SharedPtr group,
    node_interfaces::NodeBaseInterface * node_base,
    node_interfaces::NodeTimersInterface * node_timers)
{
  if (node_base == nullptr) {
    throw std::invalid_argument{"input node_base cannot be null"};
  }
  if (node_timers == nullptr) {
    throw std::invalid_argument{"input node_timers cannot be null"};
  }
  if (period < std::chrono::duration<DurationRepT, DurationT>::zero()) {
    throw std::invalid_argument{"timer period cannot be negative"};
  }
  auto period_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(period);
  auto timer = rclcpp::WallTimer<CallbackT>::make_shared(
      period_ns, std::move(callback), node_base->get_context());
  node_timers->add_timer(timer, group);
  return timer;
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_TIMER_HPP_
