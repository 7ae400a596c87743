#include "rclcpp/publisher_base.hpp"

#include <string>

#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp {

PublisherBase::PublisherBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & topic,
    const std::string & type_name,
    const rclcpp::QoS & qos)
    : topic_name_(node_base->resolve_topic_or_service_name(topic, false)),
      type_name_(type_name),
      qos_(qos),
      context_(node_base->get_context())
{
  registration_id_ =
      detail::register_publisher(topic_name_, type_name_, qos_.get_rmw_qos_profile());
}

PublisherBase::~PublisherBase() { detail::unregister_publisher(registration_id_); }

const char * PublisherBase::get_topic_name() const { return topic_name_.c_str(); }

size_t PublisherBase::get_queue_size() const { return qos_.get_rmw_qos_profile().depth; }

size_t PublisherBase::get_subscription_count() const
{
  return detail::matched_subscription_count(registration_id_);
}

rclcpp::QoS PublisherBase::get_actual_qos() const { return qos_; }

void PublisherBase::do_publish(const detail::ErasedMessage & message)
{
  // As with the real middleware, publishing on a shut-down context is silently dropped.
  if (!context_->is_valid()) {
    return;
  }
  detail::publish(registration_id_, message);
}

}  // namespace rclcpp
