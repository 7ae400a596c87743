// Builds the interfaces of a node from its name, namespace and options, and holds the node
// behaviour that is more than a forward to one interface. Node and
// rclcpp_lifecycle::LifecycleNode share this, so both behave alike.
#ifndef RCLCPP__DETAIL__NODE_SETUP_HPP_
#define RCLCPP__DETAIL__NODE_SETUP_HPP_

#include <string>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace detail {

struct NodeInterfaceSet
{
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr base;
  rclcpp::node_interfaces::NodeGraphInterface::SharedPtr graph;
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr logging;
  rclcpp::node_interfaces::NodeTimersInterface::SharedPtr timers;
  rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr topics;
  rclcpp::node_interfaces::NodeServicesInterface::SharedPtr services;
  rclcpp::node_interfaces::NodeClockInterface::SharedPtr clock;
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr parameters;
};

/// Validates the name and namespace (an empty namespace is "/", a relative one gets a leading
/// "/"), applies the node's own remap rules and then the global ones (unless
/// use_global_arguments is false), merges the parameter overrides (global, then the node's
/// arguments, then NodeOptions::parameter_overrides, later ones winning) and declares
/// use_sim_time.
/// \throws std::runtime_error if the context is not initialized
/// \throws rclcpp::exceptions::InvalidNodeNameError / InvalidNamespaceError
RCLCPP_PUBLIC
NodeInterfaceSet create_node_interfaces(
    const std::string & node_name,
    const std::string & namespace_,
    const rclcpp::NodeOptions & options);

/// The descriptor of the one parameter `name`.
/// \throws rclcpp::exceptions::ParameterNotDeclaredException if it is not declared
RCLCPP_PUBLIC
rcl_interfaces::msg::ParameterDescriptor describe_parameter(
    rclcpp::node_interfaces::NodeParametersInterface & parameters, const std::string & name);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__NODE_SETUP_HPP_
