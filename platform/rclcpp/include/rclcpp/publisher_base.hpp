#ifndef RCLCPP__PUBLISHER_BASE_HPP_
#define RCLCPP__PUBLISHER_BASE_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeBaseInterface;
}  // namespace node_interfaces

/// Type-independent part of a publisher. Publishing puts the message into the queue of every
/// matched subscription; callbacks run later on the subscribers' executors.
class RCLCPP_PUBLIC PublisherBase : public std::enable_shared_from_this<PublisherBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(PublisherBase)

  /// Resolves and validates the topic name (rclcpp::exceptions::InvalidTopicNameError) and
  /// registers the publisher.
  PublisherBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & topic,
      const std::string & type_name,
      const rclcpp::QoS & qos);

  virtual ~PublisherBase();

  const char * get_topic_name() const;

  size_t get_queue_size() const;

  /// Matched (same type, QoS-compatible) subscriptions in the process.
  size_t get_subscription_count() const;

  size_t get_intra_process_subscription_count() const { return 0; }

  rclcpp::QoS get_actual_qos() const;

  bool assert_liveliness() const { return true; }

  bool can_loan_messages() const { return false; }

protected:
  /// Delivers a message unless the context is shut down (then it is dropped silently).
  void do_publish(const detail::ErasedMessage & message);

  std::string topic_name_;
  std::string type_name_;
  rclcpp::QoS qos_;
  rclcpp::Context::SharedPtr context_;
  uint64_t registration_id_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_BASE_HPP_
