#ifndef RCLCPP__CREATE_SUBSCRIPTION_HPP_
#define RCLCPP__CREATE_SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/node_interfaces/get_node_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp {

/// Creates a subscription in options.callback_group (default: the node's default group).
/// \throws rclcpp::exceptions::InvalidTopicNameError for an invalid (e.g. empty) topic name
template <
    typename MessageT,
    typename CallbackT,
    typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
    typename NodeT>
std::shared_ptr<SubscriptionT> create_subscription(
    NodeT && node,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>()))
{
  auto node_topics = rclcpp::node_interfaces::get_node_topics_interface(std::forward<NodeT>(node));
  rclcpp::AnySubscriptionCallback<MessageT, AllocatorT> any_subscription_callback;
  any_subscription_callback.set(std::forward<CallbackT>(callback));
  auto subscription = std::make_shared<SubscriptionT>(
      node_topics->get_node_base_interface(), topic_name, qos, any_subscription_callback, options);
  node_topics->add_subscription(subscription, options.callback_group);
  return subscription;
}

/// Same, from explicit parameters and topics interfaces.
template <
    typename MessageT,
    typename CallbackT,
    typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
    typename NodeParametersT,
    typename NodeTopicsT>
std::shared_ptr<SubscriptionT> create_subscription(
    NodeParametersT & node_parameters,
    NodeTopicsT & node_topics,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>()))
{
  (void)node_parameters;
  return create_subscription<MessageT, CallbackT, AllocatorT, SubscriptionT>(
      node_topics, topic_name, qos, std::forward<CallbackT>(callback), options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_SUBSCRIPTION_HPP_
