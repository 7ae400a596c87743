#ifndef RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
#define RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_

#include <string>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Expands a topic or service name for a node: an absolute name stays, "~" and "~/x" are
/// relative to the node's fully qualified name, anything else is relative to the namespace;
/// "{node}" and "{ns}"/"{namespace}" are substituted. The name and the result are validated.
/// \throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError
/// \throws rclcpp::exceptions::InvalidNodeNameError / InvalidNamespaceError
RCLCPP_PUBLIC
std::string expand_topic_or_service_name(
    const std::string & name,
    const std::string & node_name,
    const std::string & namespace_,
    bool is_service = false);

namespace detail {

/// Empty if valid, else the reason; invalid_index is set to the offending position.
RCLCPP_PUBLIC
std::string validate_node_name(const std::string & node_name, size_t & invalid_index);

RCLCPP_PUBLIC
std::string validate_namespace(const std::string & namespace_, size_t & invalid_index);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
