#ifndef RCLCPP__SUBSCRIPTION_HPP_
#define RCLCPP__SUBSCRIPTION_HPP_

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

/// A subscription to messages of type MessageT.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class Subscription : public SubscriptionBase
{
public:
  using MessageAllocatorTraits = std::allocator_traits<std::allocator<MessageT>>;
  using MessageAllocator = std::allocator<MessageT>;
  using MessageDeleter = std::default_delete<MessageT>;
  using ConstMessageSharedPtr = std::shared_ptr<const MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;
  using SubscribedType = MessageT;
  using ROSMessageType = MessageT;

  RCLCPP_SMART_PTR_DEFINITIONS(Subscription)

  Subscription(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & topic_name,
      const rclcpp::QoS & qos,
      AnySubscriptionCallback<MessageT, AllocatorT> callback,
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
          rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>())
      : SubscriptionBase(node_base, topic_name, rosidl_generator_traits::name<MessageT>(), qos),
        any_callback_(std::move(callback)),
        options_(options)
  {
  }

  /// Takes the oldest queued message into message_out; false if none is queued.
  bool take(MessageT & message_out, rclcpp::MessageInfo & message_info_out)
  {
    (void)message_info_out;
    detail::ErasedMessage message;
    if (!queue_->pop(message)) {
      return false;
    }
    message_out = *std::static_pointer_cast<const MessageT>(message);
    return true;
  }

  void handle_message(
      std::shared_ptr<void> & message, const rclcpp::MessageInfo & message_info) override
  {
    any_callback_.dispatch(std::static_pointer_cast<const MessageT>(message), message_info);
  }

private:
  RCLCPP_DISABLE_COPY(Subscription)

  AnySubscriptionCallback<MessageT, AllocatorT> any_callback_;
  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_HPP_
