#include "rclcpp/node_interfaces/node_base.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/detail/wake.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"

namespace rclcpp {
namespace node_interfaces {

NodeBase::NodeBase(
    const std::string & node_name,
    const std::string & namespace_,
    rclcpp::Context::SharedPtr context,
    std::shared_ptr<const detail::RosArguments> local_arguments,
    std::shared_ptr<const detail::RosArguments> global_arguments,
    bool use_intra_process_default,
    bool enable_topic_statistics_default)
    : name_(node_name),
      namespace_(namespace_),
      context_(std::move(context)),
      local_arguments_(std::move(local_arguments)),
      global_arguments_(std::move(global_arguments)),
      use_intra_process_default_(use_intra_process_default),
      enable_topic_statistics_default_(enable_topic_statistics_default)
{
  fully_qualified_name_ = (namespace_ == "/" ? "" : namespace_) + "/" + name_;
  default_callback_group_ =
      std::make_shared<rclcpp::CallbackGroup>(rclcpp::CallbackGroupType::MutuallyExclusive);
  callback_groups_.push_back(default_callback_group_);
}

NodeBase::~NodeBase() = default;

const char * NodeBase::get_name() const { return name_.c_str(); }

const char * NodeBase::get_namespace() const { return namespace_.c_str(); }

const char * NodeBase::get_fully_qualified_name() const { return fully_qualified_name_.c_str(); }

rclcpp::Context::SharedPtr NodeBase::get_context() { return context_; }

bool NodeBase::assert_liveliness() const { return true; }

rclcpp::CallbackGroup::SharedPtr NodeBase::create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  auto group =
      std::make_shared<rclcpp::CallbackGroup>(group_type, automatically_add_to_executor_with_node);
  {
    std::lock_guard<std::mutex> lock(callback_groups_mutex_);
    callback_groups_.erase(
        std::remove_if(
            callback_groups_.begin(),
            callback_groups_.end(),
            [](const rclcpp::CallbackGroup::WeakPtr & weak) { return weak.expired(); }),
        callback_groups_.end());
    callback_groups_.push_back(group);
  }
  // Executors serving the node pick the new group up at their next scan.
  detail::wake_all();
  return group;
}

rclcpp::CallbackGroup::SharedPtr NodeBase::get_default_callback_group()
{
  return default_callback_group_;
}

bool NodeBase::callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group)
{
  std::lock_guard<std::mutex> lock(callback_groups_mutex_);
  for (const auto & weak_group : callback_groups_) {
    if (weak_group.lock() == group) {
      return true;
    }
  }
  return false;
}

void NodeBase::for_each_callback_group(const CallbackGroupFunction & func)
{
  std::vector<rclcpp::CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(callback_groups_mutex_);
    for (const auto & weak_group : callback_groups_) {
      if (auto group = weak_group.lock()) {
        groups.push_back(group);
      }
    }
  }
  for (const auto & group : groups) {
    func(group);
  }
}

std::atomic_bool & NodeBase::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

void NodeBase::trigger_notify_guard_condition() { detail::wake_all(); }

bool NodeBase::get_use_intra_process_default() const { return use_intra_process_default_; }

bool NodeBase::get_enable_topic_statistics_default() const
{
  return enable_topic_statistics_default_;
}

std::string NodeBase::resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand) const
{
  std::string expanded = rclcpp::expand_topic_or_service_name(name, name_, namespace_, is_service);
  if (only_expand) {
    return expanded;
  }
  // Rules given to the node itself take precedence over the global ones.
  std::string remapped = expanded;
  if (local_arguments_) {
    remapped = local_arguments_->remap_name(expanded, name_, namespace_);
  }
  if (remapped == expanded && global_arguments_) {
    remapped = global_arguments_->remap_name(expanded, name_, namespace_);
  }
  if (remapped != expanded) {
    remapped = rclcpp::expand_topic_or_service_name(remapped, name_, namespace_, is_service);
  }
  return remapped;
}

}  // namespace node_interfaces
}  // namespace rclcpp
