#include "rclcpp/callback_group.hpp"

#include <algorithm>
#include <functional>
#include <vector>

#include "rclcpp/detail/wake.hpp"

namespace rclcpp {
namespace {

template <typename T>
void add_and_prune(std::vector<std::weak_ptr<T>> & list, const std::shared_ptr<T> & ptr)
{
  list.erase(
      std::remove_if(
          list.begin(), list.end(), [](const std::weak_ptr<T> & weak) { return weak.expired(); }),
      list.end());
  list.push_back(ptr);
}

}  // namespace

CallbackGroup::CallbackGroup(
    CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
    : type_(group_type),
      associated_with_executor_(false),
      can_be_taken_from_(true),
      automatically_add_to_executor_with_node_(automatically_add_to_executor_with_node)
{
}

std::atomic_bool & CallbackGroup::can_be_taken_from() { return can_be_taken_from_; }

const CallbackGroupType & CallbackGroup::type() const { return type_; }

size_t CallbackGroup::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  auto live = [](const auto & list) {
    return static_cast<size_t>(
        std::count_if(list.begin(), list.end(), [](const auto & w) { return !w.expired(); }));
  };
  return live(subscription_ptrs_) + live(service_ptrs_) + live(client_ptrs_) + live(timer_ptrs_);
}

void CallbackGroup::collect_all_ptrs(
    std::function<void(const rclcpp::SubscriptionBase::SharedPtr &)> sub_func,
    std::function<void(const rclcpp::ServiceBase::SharedPtr &)> service_func,
    std::function<void(const rclcpp::ClientBase::SharedPtr &)> client_func,
    std::function<void(const rclcpp::TimerBase::SharedPtr &)> timer_func) const
{
  std::vector<rclcpp::SubscriptionBase::SharedPtr> subscriptions;
  std::vector<rclcpp::ServiceBase::SharedPtr> services;
  std::vector<rclcpp::ClientBase::SharedPtr> clients;
  std::vector<rclcpp::TimerBase::SharedPtr> timers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto & weak : subscription_ptrs_) {
      if (auto ptr = weak.lock()) {
        subscriptions.push_back(ptr);
      }
    }
    for (const auto & weak : service_ptrs_) {
      if (auto ptr = weak.lock()) {
        services.push_back(ptr);
      }
    }
    for (const auto & weak : client_ptrs_) {
      if (auto ptr = weak.lock()) {
        clients.push_back(ptr);
      }
    }
    for (const auto & weak : timer_ptrs_) {
      if (auto ptr = weak.lock()) {
        timers.push_back(ptr);
      }
    }
  }
  // Called without the lock: a callback may add entities to this group.
  for (const auto & ptr : subscriptions) {
    sub_func(ptr);
  }
  for (const auto & ptr : services) {
    service_func(ptr);
  }
  for (const auto & ptr : clients) {
    client_func(ptr);
  }
  for (const auto & ptr : timers) {
    timer_func(ptr);
  }
}

std::atomic_bool & CallbackGroup::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

bool CallbackGroup::automatically_add_to_executor_with_node() const
{
  return automatically_add_to_executor_with_node_;
}

void CallbackGroup::add_publisher(const rclcpp::PublisherBase::SharedPtr publisher_ptr)
{
  // Publishers have no callbacks; nothing to schedule.
  (void)publisher_ptr;
}

void CallbackGroup::add_subscription(const rclcpp::SubscriptionBase::SharedPtr subscription_ptr)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    add_and_prune(subscription_ptrs_, subscription_ptr);
  }
  detail::wake_all();
}

void CallbackGroup::add_timer(const rclcpp::TimerBase::SharedPtr timer_ptr)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    add_and_prune(timer_ptrs_, timer_ptr);
  }
  detail::wake_all();
}

void CallbackGroup::add_service(const rclcpp::ServiceBase::SharedPtr service_ptr)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    add_and_prune(service_ptrs_, service_ptr);
  }
  detail::wake_all();
}

void CallbackGroup::add_client(const rclcpp::ClientBase::SharedPtr client_ptr)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    add_and_prune(client_ptrs_, client_ptr);
  }
  detail::wake_all();
}

}  // namespace rclcpp
