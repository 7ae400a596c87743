#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace detail {
class RosArguments;
}  // namespace detail

namespace node_interfaces {

/// The node's identity and its callback groups. The group list is mutex-guarded, so groups
/// may be created while executors spin.
class RCLCPP_PUBLIC NodeBase : public NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBase)

  /// node_name and namespace_ are the final (remapped and validated) values; the remap rules
  /// of local_arguments (then global_arguments) apply to topic and service names.
  NodeBase(
      const std::string & node_name,
      const std::string & namespace_,
      rclcpp::Context::SharedPtr context,
      std::shared_ptr<const detail::RosArguments> local_arguments,
      std::shared_ptr<const detail::RosArguments> global_arguments,
      bool use_intra_process_default,
      bool enable_topic_statistics_default);

  ~NodeBase() override;

  const char * get_name() const override;
  const char * get_namespace() const override;
  const char * get_fully_qualified_name() const override;
  rclcpp::Context::SharedPtr get_context() override;
  bool assert_liveliness() const override;
  rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type,
      bool automatically_add_to_executor_with_node = true) override;
  rclcpp::CallbackGroup::SharedPtr get_default_callback_group() override;
  bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) override;
  void for_each_callback_group(const CallbackGroupFunction & func) override;
  std::atomic_bool & get_associated_with_executor_atomic() override;
  void trigger_notify_guard_condition() override;
  bool get_use_intra_process_default() const override;
  bool get_enable_topic_statistics_default() const override;
  std::string resolve_topic_or_service_name(
      const std::string & name, bool is_service, bool only_expand = false) const override;

private:
  RCLCPP_DISABLE_COPY(NodeBase)

  std::string name_;
  std::string namespace_;
  std::string fully_qualified_name_;
  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<const detail::RosArguments> local_arguments_;
  std::shared_ptr<const detail::RosArguments> global_arguments_;
  bool use_intra_process_default_;
  bool enable_topic_statistics_default_;

  std::mutex callback_groups_mutex_;
  rclcpp::CallbackGroup::SharedPtr default_callback_group_;
  std::vector<rclcpp::CallbackGroup::WeakPtr> callback_groups_;
  std::atomic_bool associated_with_executor_{false};
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
