#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Name, namespace, context and callback groups of a node.
class NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBaseInterface)

  RCLCPP_PUBLIC
  virtual ~NodeBaseInterface() = default;

  virtual const char * get_name() const = 0;

  virtual const char * get_namespace() const = 0;

  virtual const char * get_fully_qualified_name() const = 0;

  virtual rclcpp::Context::SharedPtr get_context() = 0;

  virtual bool assert_liveliness() const = 0;

  /// Creates a group owned by the caller; the node keeps a weak reference.
  virtual rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type,
      bool automatically_add_to_executor_with_node = true) = 0;

  /// The mutually exclusive group used when none is given.
  virtual rclcpp::CallbackGroup::SharedPtr get_default_callback_group() = 0;

  virtual bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) = 0;

  using CallbackGroupFunction = std::function<void(rclcpp::CallbackGroup::SharedPtr)>;

  /// Calls func for every live group of the node.
  virtual void for_each_callback_group(const CallbackGroupFunction & func) = 0;

  /// True while the node is added to an executor.
  virtual std::atomic_bool & get_associated_with_executor_atomic() = 0;

  /// Tells executors that the node's entities changed.
  virtual void trigger_notify_guard_condition() = 0;

  virtual bool get_use_intra_process_default() const = 0;

  virtual bool get_enable_topic_statistics_default() const = 0;

  /// Expands name in the node's namespace ("~" is the node), applies the remap rules and
  /// validates the result.
  /// \throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError
  virtual std::string resolve_topic_or_service_name(
      const std::string & name, bool is_service, bool only_expand = false) const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
