#ifndef RCLCPP_LIFECYCLE__LIFECYCLE_NODE_IMPL_HPP_
#define RCLCPP_LIFECYCLE__LIFECYCLE_NODE_IMPL_HPP_

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/create_client.hpp"
#include "rclcpp/create_publisher.hpp"
#include "rclcpp/create_service.hpp"
#include "rclcpp/create_subscription.hpp"
#include "rclcpp/create_timer.hpp"
#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"

#ifndef RCLCPP_LIFECYCLE__LIFECYCLE_NODE_HPP_
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#endif

namespace rclcpp_lifecycle {

template <typename MessageT, typename AllocatorT>
std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<MessageT, AllocatorT>>
LifecycleNode::create_publisher(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
{
  using PublisherT = rclcpp_lifecycle::LifecyclePublisher<MessageT, AllocatorT>;
  auto pub = rclcpp::create_publisher<MessageT, AllocatorT, PublisherT>(
      node_topics_, topic_name, qos, options);
  this->add_managed_entity(pub);
  return pub;
}

template <typename MessageT, typename CallbackT, typename AllocatorT, typename SubscriptionT>
std::shared_ptr<SubscriptionT> LifecycleNode::create_subscription(
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options)
{
  return rclcpp::create_subscription<MessageT, CallbackT, AllocatorT, SubscriptionT>(
      node_topics_, topic_name, qos, std::forward<CallbackT>(callback), options);
}

template <typename DurationRepT, typename DurationT, typename CallbackT>
typename rclcpp::WallTimer<CallbackT>::SharedPtr LifecycleNode::create_wall_timer(
    std::chrono::duration<DurationRepT, DurationT> period,
    CallbackT callback,
    rclcpp::CallbackGroup::SharedPtr group)
{
  return rclcpp::create_wall_timer(
      period, std::move(callback), group, node_base_.get(), node_timers_.get());
}

template <typename ServiceT>
typename rclcpp::Client<ServiceT>::SharedPtr LifecycleNode::create_client(
    const std::string & service_name,
    const rmw_qos_profile_t & qos_profile,
    rclcpp::CallbackGroup::SharedPtr group)
{
  return rclcpp::create_client<ServiceT>(
      node_base_, node_graph_, node_services_, service_name, qos_profile, group);
}

template <typename ServiceT, typename CallbackT>
typename rclcpp::Service<ServiceT>::SharedPtr LifecycleNode::create_service(
    const std::string & service_name,
    CallbackT && callback,
    const rmw_qos_profile_t & qos_profile,
    rclcpp::CallbackGroup::SharedPtr group)
{
  return rclcpp::create_service<ServiceT, CallbackT>(
      node_base_,
      node_services_,
      service_name,
      std::forward<CallbackT>(callback),
      qos_profile,
      group);
}

template <typename ParameterT>
auto LifecycleNode::declare_parameter(
    const std::string & name,
    const ParameterT & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  try {
    return this
        ->declare_parameter(
            name, rclcpp::ParameterValue(default_value), parameter_descriptor, ignore_override)
        .template get<ParameterT>();
  } catch (const rclcpp::ParameterTypeException & ex) {
    throw rclcpp::exceptions::InvalidParameterTypeException(name, ex.what());
  }
}

template <typename ParameterT>
auto LifecycleNode::declare_parameter(
    const std::string & name,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  // A value-initialised ParameterT gives the ParameterType of the declaration.
  rclcpp::ParameterValue value{ParameterT{}};
  try {
    return this->declare_parameter(name, value.get_type(), parameter_descriptor, ignore_override)
        .template get<ParameterT>();
  } catch (const rclcpp::ParameterTypeException &) {
    throw rclcpp::exceptions::UninitializedStaticallyTypedParameterException(name);
  }
}

template <typename ParameterT>
bool LifecycleNode::get_parameter(const std::string & name, ParameterT & parameter) const
{
  rclcpp::Parameter parameter_variant;
  bool result = get_parameter(name, parameter_variant);
  if (result) {
    parameter = static_cast<ParameterT>(parameter_variant.get_value<ParameterT>());
  }
  return result;
}

template <typename ParameterT>
bool LifecycleNode::get_parameter_or(
    const std::string & name, ParameterT & parameter, const ParameterT & alternative_value) const
{
  bool got_parameter = get_parameter(name, parameter);
  if (!got_parameter) {
    parameter = alternative_value;
  }
  return got_parameter;
}

template <typename ParameterT>
ParameterT LifecycleNode::get_parameter_or(
    const std::string & name, const ParameterT & alternative_value) const
{
  ParameterT parameter;
  get_parameter_or(name, parameter, alternative_value);
  return parameter;
}

template <typename ParameterT>
bool LifecycleNode::get_parameters(
    const std::string & prefix, std::map<std::string, ParameterT> & values) const
{
  std::map<std::string, rclcpp::Parameter> params;
  bool result = node_parameters_->get_parameters_by_prefix(prefix, params);
  if (result) {
    for (const auto & param : params) {
      values[param.first] = static_cast<ParameterT>(param.second.get_value<ParameterT>());
    }
  }
  return result;
}

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__LIFECYCLE_NODE_IMPL_HPP_
