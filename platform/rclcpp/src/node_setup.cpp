#include "rclcpp/detail/node_setup.hpp"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/exceptions/exceptions.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"
#include "rclcpp/node_interfaces/node_base.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"

namespace rclcpp {
namespace detail {
namespace {

void validate_node_name_or_throw(const std::string & node_name)
{
  size_t index = 0;
  const std::string reason = validate_node_name(node_name, index);
  if (!reason.empty()) {
    throw exceptions::InvalidNodeNameError(node_name.c_str(), reason.c_str(), index);
  }
}

void validate_namespace_or_throw(const std::string & namespace_)
{
  size_t index = 0;
  const std::string reason = validate_namespace(namespace_, index);
  if (!reason.empty()) {
    throw exceptions::InvalidNamespaceError(namespace_.c_str(), reason.c_str(), index);
  }
}

}  // namespace

NodeInterfaceSet create_node_interfaces(
    const std::string & node_name,
    const std::string & namespace_,
    const rclcpp::NodeOptions & options)
{
  auto context = options.context();
  if (!context || !context->is_valid()) {
    throw std::runtime_error("failed to initialize rcl node: the context is not initialized");
  }

  validate_node_name_or_throw(node_name);
  std::string ns = namespace_;
  if (ns.empty()) {
    ns = "/";
  } else if (ns[0] != '/') {
    ns = "/" + ns;
  }
  validate_namespace_or_throw(ns);

  std::shared_ptr<const RosArguments> global_arguments;
  if (options.use_global_arguments()) {
    global_arguments = context->get_ros_arguments();
  }
  std::shared_ptr<const RosArguments> local_arguments;
  if (!options.arguments().empty()) {
    auto parsed = std::make_shared<const RosArguments>(options.arguments());
    if (!parsed->unparsed_ros_arguments().empty()) {
      throw exceptions::UnknownROSArgsError(
          std::vector<std::string>(parsed->unparsed_ros_arguments()));
    }
    local_arguments = parsed;
  }

  // The node's own rules win over the global ones, for the name and the namespace apart.
  std::string final_name = node_name;
  std::string final_ns = ns;
  if (local_arguments) {
    std::string local_name = node_name;
    std::string local_ns = ns;
    local_arguments->apply_node_remaps(local_name, local_ns);
    final_name = local_name;
    final_ns = local_ns;
  }
  if (global_arguments) {
    std::string global_name = node_name;
    std::string global_ns = ns;
    global_arguments->apply_node_remaps(global_name, global_ns);
    if (final_name == node_name) {
      final_name = global_name;
    }
    if (final_ns == ns) {
      final_ns = global_ns;
    }
  }
  if (!final_ns.empty() && final_ns[0] != '/') {
    final_ns = "/" + final_ns;
  }
  validate_node_name_or_throw(final_name);
  validate_namespace_or_throw(final_ns);

  NodeInterfaceSet set;
  auto base = std::make_shared<rclcpp::node_interfaces::NodeBase>(
      final_name,
      final_ns,
      context,
      local_arguments,
      global_arguments,
      options.use_intra_process_comms(),
      options.enable_topic_statistics());
  set.base = base;
  set.graph = std::make_shared<rclcpp::node_interfaces::NodeGraph>(base.get());
  set.logging = std::make_shared<rclcpp::node_interfaces::NodeLogging>(base.get());
  auto timers = std::make_shared<rclcpp::node_interfaces::NodeTimers>(base.get());
  set.timers = timers;
  set.topics = std::make_shared<rclcpp::node_interfaces::NodeTopics>(base.get(), timers.get());
  set.services = std::make_shared<rclcpp::node_interfaces::NodeServices>(base.get());
  set.clock = std::make_shared<rclcpp::node_interfaces::NodeClock>();

  const std::string fqn = base->get_fully_qualified_name();
  std::vector<rclcpp::Parameter> overrides;
  if (global_arguments) {
    auto global_overrides = global_arguments->parameter_overrides(fqn);
    overrides.insert(overrides.end(), global_overrides.begin(), global_overrides.end());
  }
  if (local_arguments) {
    auto local_overrides = local_arguments->parameter_overrides(fqn);
    overrides.insert(overrides.end(), local_overrides.begin(), local_overrides.end());
  }
  overrides.insert(
      overrides.end(), options.parameter_overrides().begin(), options.parameter_overrides().end());
  set.parameters = std::make_shared<rclcpp::node_interfaces::NodeParameters>(
      fqn,
      overrides,
      options.allow_undeclared_parameters(),
      options.automatically_declare_parameters_from_overrides());
  if (!set.parameters->has_parameter("use_sim_time")) {
    set.parameters->declare_parameter("use_sim_time", rclcpp::ParameterValue(false));
  }
  return set;
}

rcl_interfaces::msg::ParameterDescriptor describe_parameter(
    rclcpp::node_interfaces::NodeParametersInterface & parameters, const std::string & name)
{
  auto result = parameters.describe_parameters({name});
  if (0 == result.size()) {
    throw rclcpp::exceptions::ParameterNotDeclaredException(name);
  }
  if (result.size() > 1) {
    throw std::runtime_error("number of described parameters unexpectedly more than one");
  }
  return result.front();
}

}  // namespace detail
}  // namespace rclcpp
