// Feeds a tf2 buffer from the "/tf" and "/tf_static" topics.
#ifndef TF2_ROS__TRANSFORM_LISTENER_H_
#define TF2_ROS__TRANSFORM_LISTENER_H_

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/qos.hpp"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

namespace detail {

template <class AllocatorT = std::allocator<void>>
rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> get_default_transform_listener_sub_options()
{
  return rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>();
}

template <class AllocatorT = std::allocator<void>>
rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>
get_default_transform_listener_static_sub_options()
{
  return rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>();
}

}  // namespace detail

/// Subscribes "/tf" and "/tf_static" and puts every transform into the buffer (authority
/// "Authority undetectable"). With spin_thread the subscriptions live in their own callback
/// group, served by a dedicated thread this object owns, and the buffer is told so
/// (setUsingDedicatedThread(true)); without it the node's executor serves them.
class TransformListener
{
public:
  /// Creates its own node "transform_listener_impl_<hex>".
  TF2_ROS_PUBLIC
  explicit TransformListener(tf2::BufferCore & buffer, bool spin_thread = true);

  template <class NodeT, class AllocatorT = std::allocator<void>>
  TransformListener(
      tf2::BufferCore & buffer,
      NodeT && node,
      bool spin_thread = true,
      const rclcpp::QoS & qos = DynamicListenerQoS(),
      const rclcpp::QoS & static_qos = StaticListenerQoS(),
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
          detail::get_default_transform_listener_sub_options<AllocatorT>(),
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & static_options =
          detail::get_default_transform_listener_static_sub_options<AllocatorT>())
      : buffer_(buffer)
  {
    init(
        node->get_node_base_interface(),
        node->get_node_logging_interface(),
        node->get_node_parameters_interface(),
        node->get_node_topics_interface(),
        spin_thread,
        qos,
        static_qos,
        options,
        static_options);
  }

  template <class AllocatorT = std::allocator<void>>
  TransformListener(
      tf2::BufferCore & buffer,
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
      rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging,
      rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters,
      rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr node_topics,
      bool spin_thread = true,
      const rclcpp::QoS & qos = DynamicListenerQoS(),
      const rclcpp::QoS & static_qos = StaticListenerQoS(),
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
          detail::get_default_transform_listener_sub_options<AllocatorT>(),
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & static_options =
          detail::get_default_transform_listener_static_sub_options<AllocatorT>())
      : buffer_(buffer)
  {
    init(
        node_base,
        node_logging,
        node_parameters,
        node_topics,
        spin_thread,
        qos,
        static_qos,
        options,
        static_options);
  }

  /// Stops and joins the dedicated thread.
  TF2_ROS_PUBLIC
  virtual ~TransformListener();

private:
  template <class AllocatorT = std::allocator<void>>
  void init(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
      rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging,
      rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters,
      rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr node_topics,
      bool spin_thread,
      const rclcpp::QoS & qos,
      const rclcpp::QoS & static_qos,
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options,
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & static_options)
  {
    spin_thread_ = spin_thread;
    node_base_interface_ = node_base;
    node_logging_interface_ = node_logging;

    using callback_t = std::function<void(tf2_msgs::msg::TFMessage::ConstSharedPtr)>;
    callback_t cb =
        std::bind(&TransformListener::subscription_callback, this, std::placeholders::_1, false);
    callback_t static_cb =
        std::bind(&TransformListener::subscription_callback, this, std::placeholders::_1, true);

    if (spin_thread_) {
      callback_group_ = node_base_interface_->create_callback_group(
          rclcpp::CallbackGroupType::MutuallyExclusive, false);
      rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> tf_options = options;
      rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> tf_static_options = static_options;
      tf_options.callback_group = callback_group_;
      tf_static_options.callback_group = callback_group_;

      message_subscription_tf_ = rclcpp::create_subscription<tf2_msgs::msg::TFMessage>(
          node_parameters, node_topics, "/tf", qos, std::move(cb), tf_options);
      message_subscription_tf_static_ = rclcpp::create_subscription<tf2_msgs::msg::TFMessage>(
          node_parameters,
          node_topics,
          "/tf_static",
          static_qos,
          std::move(static_cb),
          tf_static_options);

      executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
      executor_->add_callback_group(callback_group_, node_base_interface_);
      startThread();
      buffer_.setUsingDedicatedThread(true);
    } else {
      message_subscription_tf_ = rclcpp::create_subscription<tf2_msgs::msg::TFMessage>(
          node_parameters, node_topics, "/tf", qos, std::move(cb), options);
      message_subscription_tf_static_ = rclcpp::create_subscription<tf2_msgs::msg::TFMessage>(
          node_parameters,
          node_topics,
          "/tf_static",
          static_qos,
          std::move(static_cb),
          static_options);
    }
  }

  TF2_ROS_PUBLIC
  void startThread();

  TF2_ROS_PUBLIC
  void subscription_callback(tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static);

  bool spin_thread_{false};
  std::unique_ptr<std::thread> dedicated_listener_thread_;
  // Ready once the dedicated thread has left its spin.
  std::future<void> thread_finished_;
  rclcpp::Executor::SharedPtr executor_;

  rclcpp::Node::SharedPtr optional_default_node_ = nullptr;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_static_;
  tf2::BufferCore & buffer_;
  tf2::TimePoint last_update_;
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging_interface_;
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_interface_;
  rclcpp::CallbackGroup::SharedPtr callback_group_{nullptr};
};

}  // namespace tf2_ros

#endif  // TF2_ROS__TRANSFORM_LISTENER_H_
