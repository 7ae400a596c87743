#ifndef RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_

#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

class NodeTopicsInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeTopicsInterface)

  RCLCPP_PUBLIC
  virtual ~NodeTopicsInterface() = default;

  virtual void add_publisher(
      rclcpp::PublisherBase::SharedPtr publisher,
      rclcpp::CallbackGroup::SharedPtr callback_group) = 0;

  /// Adds the subscription to the group (nullptr: the default group).
  /// \throws std::runtime_error if the group is not of this node
  virtual void add_subscription(
      rclcpp::SubscriptionBase::SharedPtr subscription,
      rclcpp::CallbackGroup::SharedPtr callback_group) = 0;

  virtual rclcpp::node_interfaces::NodeBaseInterface * get_node_base_interface() const = 0;

  virtual rclcpp::node_interfaces::NodeTimersInterface * get_node_timers_interface() const = 0;

  virtual std::string resolve_topic_name(
      const std::string & name, bool only_expand = false) const = 0;
};

class RCLCPP_PUBLIC NodeTopics : public NodeTopicsInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeTopics)

  NodeTopics(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      rclcpp::node_interfaces::NodeTimersInterface * node_timers);

  ~NodeTopics() override;

  void add_publisher(
      rclcpp::PublisherBase::SharedPtr publisher,
      rclcpp::CallbackGroup::SharedPtr callback_group) override;

  void add_subscription(
      rclcpp::SubscriptionBase::SharedPtr subscription,
      rclcpp::CallbackGroup::SharedPtr callback_group) override;

  rclcpp::node_interfaces::NodeBaseInterface * get_node_base_interface() const override;

  rclcpp::node_interfaces::NodeTimersInterface * get_node_timers_interface() const override;

  std::string resolve_topic_name(const std::string & name, bool only_expand = false) const override;

private:
  RCLCPP_DISABLE_COPY(NodeTopics)

  rclcpp::node_interfaces::NodeBaseInterface * node_base_;
  rclcpp::node_interfaces::NodeTimersInterface * node_timers_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
