// The small node interfaces: logging, clock, timers, topics, services and graph.
#include <memory>
#include <stdexcept>
#include <string>

#include "rclcpp/detail/transport.hpp"
#include "rclcpp/detail/wake.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"

namespace rclcpp {
namespace node_interfaces {
namespace {

std::string logger_name_of(NodeBaseInterface * node_base)
{
  std::string ns = node_base->get_namespace();
  std::string name;
  for (char c : ns) {
    name.push_back(c == '/' ? '.' : c);
  }
  while (!name.empty() && name.front() == '.') {
    name.erase(name.begin());
  }
  if (!name.empty()) {
    name += ".";
  }
  return name + node_base->get_name();
}

rclcpp::CallbackGroup::SharedPtr group_or_default(
    NodeBaseInterface * node_base, rclcpp::CallbackGroup::SharedPtr group, const char * what)
{
  if (group) {
    if (!node_base->callback_group_in_node(group)) {
      throw std::runtime_error(std::string("Cannot create ") + what + " not in node.");
    }
    return group;
  }
  return node_base->get_default_callback_group();
}

}  // namespace

NodeLogging::NodeLogging(NodeBaseInterface * node_base)
    : logger_(rclcpp::get_logger(logger_name_of(node_base)))
{
}

NodeLogging::~NodeLogging() = default;

rclcpp::Logger NodeLogging::get_logger() const { return logger_; }

const char * NodeLogging::get_logger_name() const { return logger_.get_name(); }

NodeClock::NodeClock() : ros_clock_(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)) {}

NodeClock::~NodeClock() = default;

rclcpp::Clock::SharedPtr NodeClock::get_clock() { return ros_clock_; }

rclcpp::Clock::ConstSharedPtr NodeClock::get_clock() const { return ros_clock_; }

NodeTimers::NodeTimers(NodeBaseInterface * node_base) : node_base_(node_base) {}

NodeTimers::~NodeTimers() = default;

void NodeTimers::add_timer(
    rclcpp::TimerBase::SharedPtr timer, rclcpp::CallbackGroup::SharedPtr callback_group)
{
  group_or_default(node_base_, callback_group, "timer, group")->add_timer(timer);
  node_base_->trigger_notify_guard_condition();
}

NodeTopics::NodeTopics(NodeBaseInterface * node_base, NodeTimersInterface * node_timers)
    : node_base_(node_base), node_timers_(node_timers)
{
}

NodeTopics::~NodeTopics() = default;

void NodeTopics::add_publisher(
    rclcpp::PublisherBase::SharedPtr publisher, rclcpp::CallbackGroup::SharedPtr callback_group)
{
  group_or_default(node_base_, callback_group, "publisher, callback group")
      ->add_publisher(publisher);
}

void NodeTopics::add_subscription(
    rclcpp::SubscriptionBase::SharedPtr subscription,
    rclcpp::CallbackGroup::SharedPtr callback_group)
{
  group_or_default(node_base_, callback_group, "subscription, callback group")
      ->add_subscription(subscription);
  node_base_->trigger_notify_guard_condition();
}

NodeBaseInterface * NodeTopics::get_node_base_interface() const { return node_base_; }

NodeTimersInterface * NodeTopics::get_node_timers_interface() const { return node_timers_; }

std::string NodeTopics::resolve_topic_name(const std::string & name, bool only_expand) const
{
  return node_base_->resolve_topic_or_service_name(name, false, only_expand);
}

NodeServices::NodeServices(NodeBaseInterface * node_base) : node_base_(node_base) {}

NodeServices::~NodeServices() = default;

void NodeServices::add_client(
    rclcpp::ClientBase::SharedPtr client_base_ptr, rclcpp::CallbackGroup::SharedPtr group)
{
  group_or_default(node_base_, group, "client, group")->add_client(client_base_ptr);
  node_base_->trigger_notify_guard_condition();
}

void NodeServices::add_service(
    rclcpp::ServiceBase::SharedPtr service_base_ptr, rclcpp::CallbackGroup::SharedPtr group)
{
  group_or_default(node_base_, group, "service, group")->add_service(service_base_ptr);
  node_base_->trigger_notify_guard_condition();
}

std::string NodeServices::resolve_service_name(const std::string & name, bool only_expand) const
{
  return node_base_->resolve_topic_or_service_name(name, true, only_expand);
}

NodeGraph::NodeGraph(NodeBaseInterface * node_base) : node_base_(node_base) {}

NodeGraph::~NodeGraph() = default;

size_t NodeGraph::count_publishers(const std::string & topic_name) const
{
  return detail::count_publishers(node_base_->resolve_topic_or_service_name(topic_name, false));
}

size_t NodeGraph::count_subscribers(const std::string & topic_name) const
{
  return detail::count_subscribers(node_base_->resolve_topic_or_service_name(topic_name, false));
}

}  // namespace node_interfaces
}  // namespace rclcpp
