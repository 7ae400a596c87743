#include "rclcpp_lifecycle/lifecycle_node.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "lifecycle_msgs/srv/change_state.hpp"
#include "lifecycle_msgs/srv/get_state.hpp"
#include "lifecycle_node_interface_impl.hpp"
#include "rclcpp/create_service.hpp"
#include "rclcpp/detail/node_setup.hpp"

namespace rclcpp_lifecycle {

using TransitionMsg = lifecycle_msgs::msg::Transition;
using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;

LifecycleNode::LifecycleNode(
    const std::string & node_name,
    const rclcpp::NodeOptions & options,
    bool enable_communication_interface)
    : LifecycleNode(node_name, "", options, enable_communication_interface)
{
}

LifecycleNode::LifecycleNode(
    const std::string & node_name,
    const std::string & namespace_,
    const rclcpp::NodeOptions & options,
    bool enable_communication_interface)
    : impl_(std::make_unique<LifecycleNodeInterfaceImpl>()), node_options_(options)
{
  auto interfaces = rclcpp::detail::create_node_interfaces(node_name, namespace_, options);
  node_base_ = interfaces.base;
  node_graph_ = interfaces.graph;
  node_logging_ = interfaces.logging;
  node_timers_ = interfaces.timers;
  node_topics_ = interfaces.topics;
  node_services_ = interfaces.services;
  node_clock_ = interfaces.clock;
  node_parameters_ = interfaces.parameters;

  using std::placeholders::_1;
  register_on_configure(std::bind(&LifecycleNodeInterface::on_configure, this, _1));
  register_on_cleanup(std::bind(&LifecycleNodeInterface::on_cleanup, this, _1));
  register_on_shutdown(std::bind(&LifecycleNodeInterface::on_shutdown, this, _1));
  register_on_activate(std::bind(&LifecycleNodeInterface::on_activate, this, _1));
  register_on_deactivate(std::bind(&LifecycleNodeInterface::on_deactivate, this, _1));
  register_on_error(std::bind(&LifecycleNodeInterface::on_error, this, _1));

  if (enable_communication_interface) {
    using lifecycle_msgs::srv::ChangeState;
    using lifecycle_msgs::srv::GetState;
    LifecycleNodeInterfaceImpl * impl = impl_.get();
    impl_->services.push_back(rclcpp::create_service<ChangeState>(
        node_base_,
        node_services_,
        "~/change_state",
        [impl](
            const std::shared_ptr<ChangeState::Request> request,
            std::shared_ptr<ChangeState::Response> response) {
          // A label takes precedence over the id, as a command line request leaves the id 0.
          CallbackReturn cb_return_code = CallbackReturn::ERROR;
          if (!request->transition.label.empty()) {
            impl->change_state_by_label(request->transition.label, cb_return_code);
          } else {
            impl->change_state(request->transition.id, cb_return_code);
          }
          response->success = cb_return_code == CallbackReturn::SUCCESS;
        },
        rmw_qos_profile_services_default,
        nullptr));
    impl_->services.push_back(rclcpp::create_service<GetState>(
        node_base_,
        node_services_,
        "~/get_state",
        [impl](
            const std::shared_ptr<GetState::Request>,
            std::shared_ptr<GetState::Response> response) {
          const State & state = impl->get_current_state();
          response->current_state.id = state.id();
          response->current_state.label = state.label();
        },
        rmw_qos_profile_services_default,
        nullptr));
  }
}

LifecycleNode::~LifecycleNode() { impl_->services.clear(); }

const State & LifecycleNode::get_current_state() { return impl_->get_current_state(); }

std::vector<State> LifecycleNode::get_available_states() { return impl_->get_available_states(); }

std::vector<rclcpp_lifecycle::Transition> LifecycleNode::get_available_transitions()
{
  return impl_->get_available_transitions();
}

std::vector<rclcpp_lifecycle::Transition> LifecycleNode::get_transition_graph()
{
  return impl_->get_transition_graph();
}

const State & LifecycleNode::trigger_transition(const rclcpp_lifecycle::Transition & transition)
{
  return trigger_transition(transition.id());
}

const State & LifecycleNode::trigger_transition(
    const rclcpp_lifecycle::Transition & transition, CallbackReturn & cb_return_code)
{
  return trigger_transition(transition.id(), cb_return_code);
}

const State & LifecycleNode::trigger_transition(uint8_t transition_id)
{
  CallbackReturn error;
  return trigger_transition(transition_id, error);
}

const State & LifecycleNode::trigger_transition(
    uint8_t transition_id, CallbackReturn & cb_return_code)
{
  impl_->change_state(transition_id, cb_return_code);
  return impl_->get_current_state();
}

const State & LifecycleNode::configure()
{
  return trigger_transition(TransitionMsg::TRANSITION_CONFIGURE);
}

const State & LifecycleNode::configure(CallbackReturn & cb_return_code)
{
  return trigger_transition(TransitionMsg::TRANSITION_CONFIGURE, cb_return_code);
}

const State & LifecycleNode::cleanup()
{
  return trigger_transition(TransitionMsg::TRANSITION_CLEANUP);
}

const State & LifecycleNode::cleanup(CallbackReturn & cb_return_code)
{
  return trigger_transition(TransitionMsg::TRANSITION_CLEANUP, cb_return_code);
}

const State & LifecycleNode::activate()
{
  return trigger_transition(TransitionMsg::TRANSITION_ACTIVATE);
}

const State & LifecycleNode::activate(CallbackReturn & cb_return_code)
{
  return trigger_transition(TransitionMsg::TRANSITION_ACTIVATE, cb_return_code);
}

const State & LifecycleNode::deactivate()
{
  return trigger_transition(TransitionMsg::TRANSITION_DEACTIVATE);
}

const State & LifecycleNode::deactivate(CallbackReturn & cb_return_code)
{
  return trigger_transition(TransitionMsg::TRANSITION_DEACTIVATE, cb_return_code);
}

const State & LifecycleNode::shutdown()
{
  CallbackReturn error;
  return shutdown(error);
}

const State & LifecycleNode::shutdown(CallbackReturn & cb_return_code)
{
  impl_->change_state_by_label("shutdown", cb_return_code);
  return impl_->get_current_state();
}

bool LifecycleNode::register_on_configure(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(lifecycle_msgs::msg::State::TRANSITION_STATE_CONFIGURING, fcn);
}

bool LifecycleNode::register_on_cleanup(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(lifecycle_msgs::msg::State::TRANSITION_STATE_CLEANINGUP, fcn);
}

bool LifecycleNode::register_on_shutdown(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(lifecycle_msgs::msg::State::TRANSITION_STATE_SHUTTINGDOWN, fcn);
}

bool LifecycleNode::register_on_activate(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(lifecycle_msgs::msg::State::TRANSITION_STATE_ACTIVATING, fcn);
}

bool LifecycleNode::register_on_deactivate(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(lifecycle_msgs::msg::State::TRANSITION_STATE_DEACTIVATING, fcn);
}

bool LifecycleNode::register_on_error(std::function<CallbackReturn(const State &)> fcn)
{
  return impl_->register_callback(
      lifecycle_msgs::msg::State::TRANSITION_STATE_ERRORPROCESSING, fcn);
}

CallbackReturn LifecycleNode::on_activate(const State &)
{
  impl_->on_activate();
  return CallbackReturn::SUCCESS;
}

CallbackReturn LifecycleNode::on_deactivate(const State &)
{
  impl_->on_deactivate();
  return CallbackReturn::SUCCESS;
}

void LifecycleNode::add_managed_entity(
    std::weak_ptr<rclcpp_lifecycle::ManagedEntityInterface> managed_entity)
{
  impl_->add_managed_entity(managed_entity);
}

const char * LifecycleNode::get_name() const { return node_base_->get_name(); }

const char * LifecycleNode::get_namespace() const { return node_base_->get_namespace(); }

const char * LifecycleNode::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}

rclcpp::Logger LifecycleNode::get_logger() const { return node_logging_->get_logger(); }

rclcpp::CallbackGroup::SharedPtr LifecycleNode::create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

void LifecycleNode::for_each_callback_group(
    const rclcpp::node_interfaces::NodeBaseInterface::CallbackGroupFunction & func)
{
  node_base_->for_each_callback_group(func);
}

const rclcpp::ParameterValue & LifecycleNode::declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  return node_parameters_->declare_parameter(
      name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & LifecycleNode::declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  return node_parameters_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void LifecycleNode::undeclare_parameter(const std::string & name)
{
  node_parameters_->undeclare_parameter(name);
}

bool LifecycleNode::has_parameter(const std::string & name) const
{
  return node_parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult LifecycleNode::set_parameter(
    const rclcpp::Parameter & parameter)
{
  return set_parameters_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> LifecycleNode::set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult LifecycleNode::set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter LifecycleNode::get_parameter(const std::string & name) const
{
  return node_parameters_->get_parameter(name);
}

bool LifecycleNode::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> LifecycleNode::get_parameters(
    const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor LifecycleNode::describe_parameter(
    const std::string & name) const
{
  return rclcpp::detail::describe_parameter(*node_parameters_, name);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> LifecycleNode::describe_parameters(
    const std::vector<std::string> & names) const
{
  return node_parameters_->describe_parameters(names);
}

std::vector<uint8_t> LifecycleNode::get_parameter_types(
    const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult LifecycleNode::list_parameters(
    const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return node_parameters_->list_parameters(prefixes, depth);
}

LifecycleNode::OnSetParametersCallbackHandle::SharedPtr
LifecycleNode::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  return node_parameters_->add_on_set_parameters_callback(callback);
}

void LifecycleNode::remove_on_set_parameters_callback(
    const OnSetParametersCallbackHandle * const handler)
{
  node_parameters_->remove_on_set_parameters_callback(handler);
}

size_t LifecycleNode::count_publishers(const std::string & topic_name) const
{
  return node_graph_->count_publishers(topic_name);
}

size_t LifecycleNode::count_subscribers(const std::string & topic_name) const
{
  return node_graph_->count_subscribers(topic_name);
}

rclcpp::Clock::SharedPtr LifecycleNode::get_clock() { return node_clock_->get_clock(); }

rclcpp::Clock::ConstSharedPtr LifecycleNode::get_clock() const { return node_clock_->get_clock(); }

rclcpp::Time LifecycleNode::now() const { return node_clock_->get_clock()->now(); }

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr LifecycleNode::get_node_base_interface()
{
  return node_base_;
}

rclcpp::node_interfaces::NodeClockInterface::SharedPtr LifecycleNode::get_node_clock_interface()
{
  return node_clock_;
}

rclcpp::node_interfaces::NodeGraphInterface::SharedPtr LifecycleNode::get_node_graph_interface()
{
  return node_graph_;
}

rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr LifecycleNode::get_node_logging_interface()
{
  return node_logging_;
}

rclcpp::node_interfaces::NodeTimersInterface::SharedPtr LifecycleNode::get_node_timers_interface()
{
  return node_timers_;
}

rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr LifecycleNode::get_node_topics_interface()
{
  return node_topics_;
}

rclcpp::node_interfaces::NodeServicesInterface::SharedPtr
LifecycleNode::get_node_services_interface()
{
  return node_services_;
}

rclcpp::node_interfaces::NodeParametersInterface::SharedPtr
LifecycleNode::get_node_parameters_interface()
{
  return node_parameters_;
}

const rclcpp::NodeOptions & LifecycleNode::get_node_options() const { return node_options_; }

}  // namespace rclcpp_lifecycle
