#include "rclcpp/subscription_base.hpp"

#include <memory>
#include <string>

#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp {

SubscriptionBase::SubscriptionBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic_name,
    const std::string & type_name,
    const rclcpp::QoS & qos)
    : topic_name_(node_base->resolve_topic_or_service_name(topic_name, false)),
      type_name_(type_name),
      qos_(qos),
      context_(node_base->get_context()),
      queue_(std::make_shared<detail::MessageQueue>(qos.get_rmw_qos_profile()))
{
  registration_id_ =
      detail::register_subscription(topic_name_, type_name_, qos_.get_rmw_qos_profile(), queue_);
}

SubscriptionBase::~SubscriptionBase() { detail::unregister_subscription(registration_id_); }

const char * SubscriptionBase::get_topic_name() const { return topic_name_.c_str(); }

rclcpp::QoS SubscriptionBase::get_actual_qos() const { return qos_; }

size_t SubscriptionBase::get_publisher_count() const
{
  return detail::matched_publisher_count(registration_id_);
}

bool SubscriptionBase::take_type_erased_message(std::shared_ptr<void> & message)
{
  detail::ErasedMessage erased;
  if (!queue_->pop(erased)) {
    return false;
  }
  message = std::const_pointer_cast<void>(erased);
  return true;
}

const std::shared_ptr<detail::MessageQueue> & SubscriptionBase::get_message_queue() const
{
  return queue_;
}

rclcpp::Context::SharedPtr SubscriptionBase::get_context() const { return context_; }

}  // namespace rclcpp
