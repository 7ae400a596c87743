#ifndef RCLCPP__WAIT_FOR_MESSAGE_HPP_
#define RCLCPP__WAIT_FOR_MESSAGE_HPP_

#include <chrono>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/node.hpp"
#include "rclcpp/subscription.hpp"

namespace rclcpp {

/// Waits for the next message of the subscription and copies it to out. Returns false on
/// timeout (a negative time_to_wait waits without limit) or when the context shuts down.
///
/// The waiter takes a queued message first; otherwise the next message published is handed to
/// the waiter, even if an executor serves the subscription's group (with the real middleware
/// the executor may take it first and the waiter would miss it).
template <class MsgT, class Rep = int64_t, class Period = std::milli>
bool wait_for_message(
    MsgT & out,
    std::shared_ptr<rclcpp::Subscription<MsgT>> subscription,
    std::shared_ptr<rclcpp::Context> context,
    std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
{
  auto queue = subscription->get_message_queue();
  auto shutdown_callback_handle = context->add_on_shutdown_callback(
      [weak_queue = std::weak_ptr<detail::MessageQueue>(queue)]() {
        if (auto q = weak_queue.lock()) {
          q->interrupt();
        }
      });
  const auto deadline =
      time_to_wait < std::chrono::duration<Rep, Period>::zero()
          ? std::chrono::steady_clock::time_point::max()
          : std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::nanoseconds>(time_to_wait);
  detail::ErasedMessage message;
  bool taken = false;
  if (context->is_valid()) {
    taken = queue->wait_and_take(message, deadline);
  }
  context->remove_on_shutdown_callback(shutdown_callback_handle);
  if (!taken) {
    return false;
  }
  out = *std::static_pointer_cast<const MsgT>(message);
  return true;
}

/// Subscribes to topic (depth 1) for the duration of the wait.
template <class MsgT, class Rep = int64_t, class Period = std::milli>
bool wait_for_message(
    MsgT & out,
    rclcpp::Node::SharedPtr node,
    const std::string & topic,
    std::chrono::duration<Rep, Period> time_to_wait = std::chrono::duration<Rep, Period>(-1))
{
  auto sub = node->create_subscription<MsgT>(topic, 1, [](const std::shared_ptr<const MsgT>) {});
  return wait_for_message<MsgT, Rep, Period>(
      out, sub, node->get_node_base_interface()->get_context(), time_to_wait);
}

}  // namespace rclcpp

#endif  // RCLCPP__WAIT_FOR_MESSAGE_HPP_
