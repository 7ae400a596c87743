#ifndef RCLCPP__SUBSCRIPTION_BASE_HPP_
#define RCLCPP__SUBSCRIPTION_BASE_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeBaseInterface;
}  // namespace node_interfaces

/// Type-independent part of a subscription: its resolved topic, QoS and incoming queue.
/// Messages wait in the queue (KEEP_LAST depth per subscription) until the executor that
/// serves the subscription's callback group runs the callback.
class RCLCPP_PUBLIC SubscriptionBase : public std::enable_shared_from_this<SubscriptionBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(SubscriptionBase)

  /// Resolves and validates the topic name (rclcpp::exceptions::InvalidTopicNameError) and
  /// registers the subscription.
  SubscriptionBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & topic_name,
      const std::string & type_name,
      const rclcpp::QoS & qos);

  /// Unregisters: queued messages are dropped and nothing more is delivered.
  virtual ~SubscriptionBase();

  const char * get_topic_name() const;

  rclcpp::QoS get_actual_qos() const;

  /// Number of matched publishers in the process.
  size_t get_publisher_count() const;

  /// Takes the next queued message (the executor's take).
  bool take_type_erased_message(std::shared_ptr<void> & message);

  /// Runs the callback for a message taken by take_type_erased_message().
  virtual void handle_message(
      std::shared_ptr<void> & message, const rclcpp::MessageInfo & message_info) = 0;

  const std::shared_ptr<detail::MessageQueue> & get_message_queue() const;

  bool is_serialized() const { return false; }

  rclcpp::Context::SharedPtr get_context() const;

protected:
  RCLCPP_DISABLE_COPY(SubscriptionBase)

  std::string topic_name_;
  std::string type_name_;
  rclcpp::QoS qos_;
  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<detail::MessageQueue> queue_;
  uint64_t registration_id_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_BASE_HPP_
