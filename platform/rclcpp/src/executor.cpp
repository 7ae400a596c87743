#include "rclcpp/executor.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/wake.hpp"
#include "rclcpp/node.hpp"

namespace rclcpp {

Executor::Executor(const rclcpp::ExecutorOptions & options)
    : spinning(false), context_(options.context)
{
}

Executor::~Executor()
{
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto & pair : weak_groups_associated_with_executor_to_nodes_) {
    if (auto group = pair.first.lock()) {
      group->get_associated_with_executor_atomic().store(false);
    }
  }
  for (auto & pair : weak_groups_to_nodes_associated_with_executor_) {
    if (auto group = pair.first.lock()) {
      group->get_associated_with_executor_atomic().store(false);
    }
  }
  for (auto & weak_node : weak_nodes_) {
    if (auto node = weak_node.lock()) {
      node->get_associated_with_executor_atomic().store(false);
    }
  }
}

void Executor::add_callback_group(
    rclcpp::CallbackGroup::SharedPtr group_ptr,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
    bool notify)
{
  (void)notify;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (group_ptr->get_associated_with_executor_atomic().exchange(true)) {
      throw std::runtime_error("Callback group has already been added to an executor.");
    }
    weak_groups_associated_with_executor_to_nodes_.insert({group_ptr, node_ptr});
  }
  detail::wake_all();
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_all_callback_groups()
{
  std::vector<rclcpp::CallbackGroup::WeakPtr> groups;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & pair : weak_groups_associated_with_executor_to_nodes_) {
    groups.push_back(pair.first);
  }
  for (const auto & pair : weak_groups_to_nodes_associated_with_executor_) {
    groups.push_back(pair.first);
  }
  return groups;
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_manually_added_callback_groups()
{
  std::vector<rclcpp::CallbackGroup::WeakPtr> groups;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & pair : weak_groups_associated_with_executor_to_nodes_) {
    groups.push_back(pair.first);
  }
  return groups;
}

std::vector<rclcpp::CallbackGroup::WeakPtr>
Executor::get_automatically_added_callback_groups_from_nodes()
{
  std::vector<rclcpp::CallbackGroup::WeakPtr> groups;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & pair : weak_groups_to_nodes_associated_with_executor_) {
    groups.push_back(pair.first);
  }
  return groups;
}

void Executor::remove_callback_group(rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify)
{
  (void)notify;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = weak_groups_associated_with_executor_to_nodes_.find(group_ptr);
    if (it != weak_groups_associated_with_executor_to_nodes_.end()) {
      weak_groups_associated_with_executor_to_nodes_.erase(it);
    } else {
      auto node_it = weak_groups_to_nodes_associated_with_executor_.find(group_ptr);
      if (node_it == weak_groups_to_nodes_associated_with_executor_.end()) {
        throw std::runtime_error("Callback group needs to be associated with executor.");
      }
      weak_groups_to_nodes_associated_with_executor_.erase(node_it);
    }
    group_ptr->get_associated_with_executor_atomic().store(false);
  }
  detail::wake_all();
}

void Executor::add_node(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  (void)notify;
  if (node_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error(
        std::string("Node '") + node_ptr->get_fully_qualified_name() +
        "' has already been added to an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node_ptr->for_each_callback_group([this, &node_ptr](rclcpp::CallbackGroup::SharedPtr group) {
      if (group->automatically_add_to_executor_with_node() &&
          !group->get_associated_with_executor_atomic().exchange(true)) {
        weak_groups_to_nodes_associated_with_executor_.insert({group, node_ptr});
      }
    });
    weak_nodes_.push_back(node_ptr);
  }
  detail::wake_all();
}

void Executor::add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  this->add_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::remove_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  (void)notify;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto node_it = std::find_if(
        weak_nodes_.begin(),
        weak_nodes_.end(),
        [&node_ptr](const rclcpp::node_interfaces::NodeBaseInterface::WeakPtr & weak) {
          return weak.lock() == node_ptr;
        });
    if (node_it == weak_nodes_.end()) {
      throw std::runtime_error(
          std::string("Node '") + node_ptr->get_fully_qualified_name() +
          "' needs to be associated with this executor.");
    }
    weak_nodes_.erase(node_it);
    for (auto it = weak_groups_to_nodes_associated_with_executor_.begin();
         it != weak_groups_to_nodes_associated_with_executor_.end();) {
      auto node = it->second.lock();
      if (node == node_ptr || !node) {
        if (auto group = it->first.lock()) {
          group->get_associated_with_executor_atomic().store(false);
        }
        it = weak_groups_to_nodes_associated_with_executor_.erase(it);
      } else {
        ++it;
      }
    }
    node_ptr->get_associated_with_executor_atomic().store(false);
  }
  detail::wake_all();
}

void Executor::remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  this->remove_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::spin_node_once_nanoseconds(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node, std::chrono::nanoseconds timeout)
{
  this->add_node(node, false);
  try {
    spin_once(timeout);
  } catch (...) {
    this->remove_node(node, false);
    throw;
  }
  this->remove_node(node, false);
}

void Executor::spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node)
{
  this->add_node(node, false);
  try {
    spin_some();
  } catch (...) {
    this->remove_node(node, false);
    throw;
  }
  this->remove_node(node, false);
}

void Executor::spin_node_some(std::shared_ptr<rclcpp::Node> node)
{
  this->spin_node_some(node->get_node_base_interface());
}

void Executor::spin_some(std::chrono::nanoseconds max_duration)
{
  return this->spin_some_impl(max_duration, false);
}

void Executor::spin_all(std::chrono::nanoseconds max_duration)
{
  if (max_duration <= std::chrono::nanoseconds(0)) {
    throw std::invalid_argument("max_duration must be positive");
  }
  return this->spin_some_impl(max_duration, true);
}

void Executor::spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive)
{
  (void)exhaustive;
  auto start = std::chrono::steady_clock::now();
  auto max_duration_not_elapsed = [max_duration, start]() {
    if (std::chrono::nanoseconds(0) == max_duration) {
      return true;
    }
    return std::chrono::steady_clock::now() - start < max_duration;
  };
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_some() called while already spinning");
  }
  SpinningGuard guard(spinning);
  while (rclcpp::ok(context_) && spinning.load() && max_duration_not_elapsed()) {
    AnyExecutable any_exec;
    if (!get_next_ready_executable(any_exec)) {
      break;
    }
    execute_any_executable(any_exec);
  }
}

void Executor::spin_once_impl(std::chrono::nanoseconds timeout)
{
  AnyExecutable any_exec;
  if (get_next_executable(any_exec, timeout)) {
    execute_any_executable(any_exec);
  }
}

void Executor::spin_once(std::chrono::nanoseconds timeout)
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_once() called while already spinning");
  }
  SpinningGuard guard(spinning);
  spin_once_impl(timeout);
}

void Executor::cancel()
{
  spinning.store(false);
  detail::wake_all();
}

bool Executor::is_spinning() { return spinning.load(); }

void Executor::execute_any_executable(AnyExecutable & any_exec)
{
  if (!spinning.load()) {
    return;
  }
  if (any_exec.timer) {
    any_exec.timer->execute_callback();
  }
  if (any_exec.subscription) {
    rclcpp::MessageInfo message_info;
    any_exec.subscription->handle_message(any_exec.data, message_info);
  }
  if (any_exec.service) {
    any_exec.service->execute_type_erased_request(any_exec.data);
  }
  if (any_exec.client) {
    any_exec.client->execute_type_erased_response(any_exec.data);
  }
  // Release the group; resetting the pointer keeps ~AnyExecutable from releasing it again
  // after another thread took it.
  any_exec.callback_group->can_be_taken_from().store(true);
  any_exec.callback_group.reset();
  detail::wake_all();
}

void Executor::refresh_groups_from_nodes()
{
  for (auto it = weak_nodes_.begin(); it != weak_nodes_.end();) {
    auto node = it->lock();
    if (!node) {
      it = weak_nodes_.erase(it);
      continue;
    }
    node->for_each_callback_group([this, &node](rclcpp::CallbackGroup::SharedPtr group) {
      if (group->automatically_add_to_executor_with_node() &&
          !group->get_associated_with_executor_atomic().exchange(true)) {
        weak_groups_to_nodes_associated_with_executor_.insert({group, node});
      }
    });
    ++it;
  }
}

std::vector<std::pair<
    rclcpp::CallbackGroup::SharedPtr,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr>>
Executor::collect_groups()
{
  std::vector<std::pair<
      rclcpp::CallbackGroup::SharedPtr,
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr>>
      groups;
  for (auto * map :
       {&weak_groups_associated_with_executor_to_nodes_,
        &weak_groups_to_nodes_associated_with_executor_}) {
    for (auto it = map->begin(); it != map->end();) {
      auto group = it->first.lock();
      if (!group) {
        it = map->erase(it);
        continue;
      }
      groups.emplace_back(group, it->second.lock());
      ++it;
    }
  }
  return groups;
}

bool Executor::get_next_ready_executable(AnyExecutable & any_executable)
{
  std::lock_guard<std::mutex> lock(mutex_);
  refresh_groups_from_nodes();
  auto groups = collect_groups();
  if (groups.empty()) {
    return false;
  }
  // Start the scan at a rotating group so that a busy group cannot starve the others.
  const size_t start = scan_start_++ % groups.size();
  for (size_t n = 0; n < groups.size(); ++n) {
    auto & group = groups[(start + n) % groups.size()].first;
    auto & node = groups[(start + n) % groups.size()].second;
    if (!group->can_be_taken_from().load()) {
      continue;
    }
    std::shared_ptr<void> data;
    bool found = false;
    if (auto timer = group->find_timer_ptrs_if(
            [](const rclcpp::TimerBase::SharedPtr & t) { return t->call(); })) {
      any_executable.timer = timer;
      found = true;
    } else if (
        auto subscription = group->find_subscription_ptrs_if(
            [&data](const rclcpp::SubscriptionBase::SharedPtr & s) {
              return s->take_type_erased_message(data);
            })) {
      any_executable.subscription = subscription;
      found = true;
    } else if (
        auto service =
            group->find_service_ptrs_if([&data](const rclcpp::ServiceBase::SharedPtr & s) {
              return s->take_type_erased_request(data);
            })) {
      any_executable.service = service;
      found = true;
    } else if (
        auto client = group->find_client_ptrs_if([&data](const rclcpp::ClientBase::SharedPtr & c) {
          return c->take_type_erased_response(data);
        })) {
      any_executable.client = client;
      found = true;
    }
    if (found) {
      any_executable.data = std::move(data);
      any_executable.node_base = node;
      if (group->type() == CallbackGroupType::MutuallyExclusive) {
        group->can_be_taken_from().store(false);
      }
      any_executable.callback_group = group;
      return true;
    }
  }
  return false;
}

std::chrono::nanoseconds Executor::next_timer_timeout()
{
  std::chrono::nanoseconds shortest = std::chrono::nanoseconds::max();
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto & pair : collect_groups()) {
    if (!pair.first->can_be_taken_from().load()) {
      continue;
    }
    pair.first->find_timer_ptrs_if([&shortest](const rclcpp::TimerBase::SharedPtr & timer) {
      shortest = std::min(shortest, timer->time_until_trigger());
      return false;
    });
  }
  return shortest;
}

bool Executor::get_next_executable(AnyExecutable & any_executable, std::chrono::nanoseconds timeout)
{
  using std::chrono::steady_clock;
  const auto deadline = timeout < std::chrono::nanoseconds::zero() ? steady_clock::time_point::max()
                                                                   : steady_clock::now() + timeout;
  while (true) {
    const uint64_t seen = detail::wake_generation();
    if (get_next_ready_executable(any_executable)) {
      return true;
    }
    if (!spinning.load() || !rclcpp::ok(context_)) {
      return false;
    }
    const auto now = steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    auto wake_at = deadline;
    const auto timer_timeout = next_timer_timeout();
    if (timer_timeout != std::chrono::nanoseconds::max()) {
      const auto timer_deadline = now + std::max(timer_timeout, std::chrono::nanoseconds(0));
      wake_at = std::min(wake_at, timer_deadline);
    }
    if (wake_at <= now) {
      continue;
    }
    detail::wait_for_wake(seen, wake_at);
  }
}

}  // namespace rclcpp
