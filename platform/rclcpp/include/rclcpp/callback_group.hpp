#ifndef RCLCPP__CALLBACK_GROUP_HPP_
#define RCLCPP__CALLBACK_GROUP_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/client.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeServices;
class NodeTimers;
class NodeTopics;
}  // namespace node_interfaces

enum class CallbackGroupType
{
  MutuallyExclusive,
  Reentrant
};

/// A set of entities whose callbacks an executor schedules together: callbacks of a mutually
/// exclusive group never run at the same time; those of a reentrant group may.
/// The group holds weak pointers: destroying an entity removes it.
class RCLCPP_PUBLIC CallbackGroup
{
  friend class rclcpp::node_interfaces::NodeServices;
  friend class rclcpp::node_interfaces::NodeTimers;
  friend class rclcpp::node_interfaces::NodeTopics;

public:
  RCLCPP_SMART_PTR_DEFINITIONS(CallbackGroup)

  /// automatically_add_to_executor_with_node: whether Executor::add_node() takes this group.
  explicit CallbackGroup(
      CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  template <typename Function>
  rclcpp::SubscriptionBase::SharedPtr find_subscription_ptrs_if(Function func) const
  {
    return _find_ptrs_if_impl<rclcpp::SubscriptionBase, Function>(func, subscription_ptrs_);
  }

  template <typename Function>
  rclcpp::TimerBase::SharedPtr find_timer_ptrs_if(Function func) const
  {
    return _find_ptrs_if_impl<rclcpp::TimerBase, Function>(func, timer_ptrs_);
  }

  template <typename Function>
  rclcpp::ServiceBase::SharedPtr find_service_ptrs_if(Function func) const
  {
    return _find_ptrs_if_impl<rclcpp::ServiceBase, Function>(func, service_ptrs_);
  }

  template <typename Function>
  rclcpp::ClientBase::SharedPtr find_client_ptrs_if(Function func) const
  {
    return _find_ptrs_if_impl<rclcpp::ClientBase, Function>(func, client_ptrs_);
  }

  /// False while an executor runs a callback of a mutually exclusive group.
  std::atomic_bool & can_be_taken_from();

  const CallbackGroupType & type() const;

  /// Number of live entities.
  size_t size() const;

  void collect_all_ptrs(
      std::function<void(const rclcpp::SubscriptionBase::SharedPtr &)> sub_func,
      std::function<void(const rclcpp::ServiceBase::SharedPtr &)> service_func,
      std::function<void(const rclcpp::ClientBase::SharedPtr &)> client_func,
      std::function<void(const rclcpp::TimerBase::SharedPtr &)> timer_func) const;

  /// True while the group is served by an executor.
  std::atomic_bool & get_associated_with_executor_atomic();

  bool automatically_add_to_executor_with_node() const;

protected:
  RCLCPP_DISABLE_COPY(CallbackGroup)

  void add_publisher(const rclcpp::PublisherBase::SharedPtr publisher_ptr);
  void add_subscription(const rclcpp::SubscriptionBase::SharedPtr subscription_ptr);
  void add_timer(const rclcpp::TimerBase::SharedPtr timer_ptr);
  void add_service(const rclcpp::ServiceBase::SharedPtr service_ptr);
  void add_client(const rclcpp::ClientBase::SharedPtr client_ptr);

  CallbackGroupType type_;
  mutable std::mutex mutex_;
  std::atomic_bool associated_with_executor_;
  std::vector<rclcpp::SubscriptionBase::WeakPtr> subscription_ptrs_;
  std::vector<rclcpp::TimerBase::WeakPtr> timer_ptrs_;
  std::vector<rclcpp::ServiceBase::WeakPtr> service_ptrs_;
  std::vector<rclcpp::ClientBase::WeakPtr> client_ptrs_;
  std::atomic_bool can_be_taken_from_;
  const bool automatically_add_to_executor_with_node_;

private:
  template <typename TypeT, typename Function>
  typename TypeT::SharedPtr _find_ptrs_if_impl(
      Function func, const std::vector<typename TypeT::WeakPtr> & vect_ptrs) const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto & weak_ptr : vect_ptrs) {
      auto ref_ptr = weak_ptr.lock();
      if (ref_ptr && func(ref_ptr)) {
        return ref_ptr;
      }
    }
    return typename TypeT::SharedPtr();
  }
};

}  // namespace rclcpp

#endif  // RCLCPP__CALLBACK_GROUP_HPP_
