#include "rclcpp/node.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/detail/node_setup.hpp"

namespace rclcpp {

Node::Node(const std::string & node_name, const NodeOptions & options)
    : Node(node_name, "", options)
{
}

Node::Node(
    const std::string & node_name, const std::string & namespace_, const NodeOptions & options)
    : node_options_(options)
{
  auto interfaces = detail::create_node_interfaces(node_name, namespace_, options);
  node_base_ = interfaces.base;
  node_graph_ = interfaces.graph;
  node_logging_ = interfaces.logging;
  node_timers_ = interfaces.timers;
  node_topics_ = interfaces.topics;
  node_services_ = interfaces.services;
  node_clock_ = interfaces.clock;
  node_parameters_ = interfaces.parameters;
}

Node::~Node() = default;

const char * Node::get_name() const { return node_base_->get_name(); }

const char * Node::get_namespace() const { return node_base_->get_namespace(); }

const char * Node::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}

rclcpp::Logger Node::get_logger() const { return node_logging_->get_logger(); }

rclcpp::CallbackGroup::SharedPtr Node::create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

void Node::for_each_callback_group(
    const node_interfaces::NodeBaseInterface::CallbackGroupFunction & func)
{
  node_base_->for_each_callback_group(func);
}

const rclcpp::ParameterValue & Node::declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  return node_parameters_->declare_parameter(
      name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & Node::declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  return node_parameters_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void Node::undeclare_parameter(const std::string & name)
{
  node_parameters_->undeclare_parameter(name);
}

bool Node::has_parameter(const std::string & name) const
{
  return node_parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const rclcpp::Parameter & parameter)
{
  return set_parameters_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter Node::get_parameter(const std::string & name) const
{
  return node_parameters_->get_parameter(name);
}

bool Node::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> Node::get_parameters(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor Node::describe_parameter(const std::string & name) const
{
  return detail::describe_parameter(*node_parameters_, name);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> Node::describe_parameters(
    const std::vector<std::string> & names) const
{
  return node_parameters_->describe_parameters(names);
}

std::vector<uint8_t> Node::get_parameter_types(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult Node::list_parameters(
    const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return node_parameters_->list_parameters(prefixes, depth);
}

Node::OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
    OnParametersSetCallbackType callback)
{
  return node_parameters_->add_on_set_parameters_callback(callback);
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
{
  node_parameters_->remove_on_set_parameters_callback(handler);
}

size_t Node::count_publishers(const std::string & topic_name) const
{
  return node_graph_->count_publishers(topic_name);
}

size_t Node::count_subscribers(const std::string & topic_name) const
{
  return node_graph_->count_subscribers(topic_name);
}

rclcpp::Clock::SharedPtr Node::get_clock() { return node_clock_->get_clock(); }

rclcpp::Clock::ConstSharedPtr Node::get_clock() const { return node_clock_->get_clock(); }

Time Node::now() const { return node_clock_->get_clock()->now(); }

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr Node::get_node_base_interface()
{
  return node_base_;
}

rclcpp::node_interfaces::NodeClockInterface::SharedPtr Node::get_node_clock_interface()
{
  return node_clock_;
}

rclcpp::node_interfaces::NodeGraphInterface::SharedPtr Node::get_node_graph_interface()
{
  return node_graph_;
}

rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr Node::get_node_logging_interface()
{
  return node_logging_;
}

rclcpp::node_interfaces::NodeTimersInterface::SharedPtr Node::get_node_timers_interface()
{
  return node_timers_;
}

rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr Node::get_node_topics_interface()
{
  return node_topics_;
}

rclcpp::node_interfaces::NodeServicesInterface::SharedPtr Node::get_node_services_interface()
{
  return node_services_;
}

rclcpp::node_interfaces::NodeParametersInterface::SharedPtr Node::get_node_parameters_interface()
{
  return node_parameters_;
}

const rclcpp::NodeOptions & Node::get_node_options() const { return node_options_; }

}  // namespace rclcpp
