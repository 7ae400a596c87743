// Helpers for node names and parameters shared by the Navigation2 servers and plug-ins.
#ifndef NAV2_UTIL__NODE_UTILS_HPP_
#define NAV2_UTIL__NODE_UTILS_HPP_

#include <cstdlib>
#include <string>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/rclcpp.hpp"

namespace nav2_util {

/** @brief Replace the characters a node name may not hold ('/', '.', ' ', ':') by '_'. */
std::string sanitize_node_name(const std::string & potential_node_name);

/**
 * @brief Join two namespaces: ("/", "x") -> "/x", ("a/", "x") -> "/a/x" (a trailing slash of
 * top_ns is dropped and a leading one added), otherwise top_ns + "/" + sub_ns.
 */
std::string add_namespaces(const std::string & top_ns, const std::string & sub_ns = "");

/** @brief A unique node name made from prefix and a random suffix. */
std::string generate_internal_node_name(const std::string & prefix = "");

/** @brief Declare param_name with a default value unless it is already declared. */
template <typename NodeT>
void declare_parameter_if_not_declared(
    NodeT node,
    const std::string & param_name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
        rcl_interfaces::msg::ParameterDescriptor())
{
  if (!node->has_parameter(param_name)) {
    node->declare_parameter(param_name, default_value, parameter_descriptor);
  }
}

/**
 * @brief Declare param_name with a static type and no default value unless it is already
 * declared. Reading it then throws ParameterUninitializedException unless an override set it.
 */
template <typename NodeT>
void declare_parameter_if_not_declared(
    NodeT node,
    const std::string & param_name,
    const rclcpp::ParameterType & param_type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
        rcl_interfaces::msg::ParameterDescriptor())
{
  if (!node->has_parameter(param_name)) {
    node->declare_parameter(param_name, param_type, parameter_descriptor);
  }
}

/**
 * @brief The class name in "<plugin_name>.plugin". A plug-in without that parameter ends the
 * process with exit(-1) after a FATAL log.
 */
template <typename NodeT>
std::string get_plugin_type_param(NodeT node, const std::string & plugin_name)
{
  declare_parameter_if_not_declared(node, plugin_name + ".plugin", rclcpp::PARAMETER_STRING);
  std::string plugin_type;
  try {
    if (!node->get_parameter(plugin_name + ".plugin", plugin_type)) {
      RCLCPP_FATAL(
          node->get_logger(), "Can not get 'plugin' param value for %s", plugin_name.c_str());
      exit(-1);
    }
  } catch (rclcpp::exceptions::ParameterUninitializedException & ex) {
    RCLCPP_FATAL(node->get_logger(), "'plugin' param not defined for %s", plugin_name.c_str());
    exit(-1);
  }
  return plugin_type;
}

}  // namespace nav2_util

#endif  // NAV2_UTIL__NODE_UTILS_HPP_
