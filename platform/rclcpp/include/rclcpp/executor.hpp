#ifndef RCLCPP__EXECUTOR_HPP_
#define RCLCPP__EXECUTOR_HPP_

#include <atomic>
#include <chrono>
#include <future>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "rclcpp/any_executable.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/utilities.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class Node;

/// Runs the callbacks of the callback groups it serves. add_node() serves every group of the
/// node created with automatically_add_to_executor_with_node, including groups the node
/// creates later; add_callback_group() serves one group. A node or group is served by at most
/// one executor. Callbacks of a mutually exclusive group never run concurrently.
///
/// Lock order: mutex_ before a callback group's mutex before any transport queue mutex.
class RCLCPP_PUBLIC Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(Executor)

  explicit Executor(const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());

  /// Releases every node and group it serves.
  virtual ~Executor();

  virtual void spin() = 0;

  /// \throws std::runtime_error "Callback group has already been added to an executor."
  virtual void add_callback_group(
      rclcpp::CallbackGroup::SharedPtr group_ptr,
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
      bool notify = true);

  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_all_callback_groups();

  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_manually_added_callback_groups();

  virtual std::vector<rclcpp::CallbackGroup::WeakPtr>
  get_automatically_added_callback_groups_from_nodes();

  virtual void remove_callback_group(
      rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify = true);

  /// \throws std::runtime_error "Node '<fqn>' has already been added to an executor."
  virtual void add_node(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  virtual void add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  virtual void remove_node(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  virtual void remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  template <typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
      std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    return spin_node_once_nanoseconds(
        node, std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  template <typename NodeT = rclcpp::Node, typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
      std::shared_ptr<NodeT> node,
      std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    return spin_node_once_nanoseconds(
        node->get_node_base_interface(),
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  void spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node);

  void spin_node_some(std::shared_ptr<rclcpp::Node> node);

  /// Runs the work that is ready now, without waiting; max_duration 0 means no time limit.
  virtual void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));

  /// Runs work until none is ready or max_duration passed.
  virtual void spin_all(std::chrono::nanoseconds max_duration);

  /// Waits up to timeout (negative: forever) for one unit of work and runs it.
  virtual void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  /// Spins until the future is ready, the timeout passes (negative: never) or the context
  /// shuts down.
  template <typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
  FutureReturnCode spin_until_future_complete(
      const FutureT & future,
      std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
  {
    std::future_status status = future.wait_for(std::chrono::seconds(0));
    if (status == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }

    auto end_time = std::chrono::steady_clock::now();
    std::chrono::nanoseconds timeout_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    if (timeout_ns > std::chrono::nanoseconds::zero()) {
      end_time += timeout_ns;
    }
    std::chrono::nanoseconds timeout_left = timeout_ns;

    if (spinning.exchange(true)) {
      throw std::runtime_error("spin_until_future_complete() called while already spinning");
    }
    SpinningGuard guard(spinning);
    while (rclcpp::ok(this->context_) && spinning.load()) {
      spin_once_impl(timeout_left);

      status = future.wait_for(std::chrono::seconds(0));
      if (status == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      if (timeout_ns < std::chrono::nanoseconds::zero()) {
        continue;
      }
      auto now = std::chrono::steady_clock::now();
      if (now >= end_time) {
        return FutureReturnCode::TIMEOUT;
      }
      timeout_left = std::chrono::duration_cast<std::chrono::nanoseconds>(end_time - now);
    }
    return FutureReturnCode::INTERRUPTED;
  }

  /// Makes spin() return soon.
  virtual void cancel();

  bool is_spinning();

protected:
  struct SpinningGuard
  {
    explicit SpinningGuard(std::atomic_bool & flag) : flag_(flag) {}
    ~SpinningGuard() { flag_.store(false); }
    std::atomic_bool & flag_;
  };

  void spin_node_once_nanoseconds(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node, std::chrono::nanoseconds timeout);

  void spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive);

  /// Runs the callback of the taken work and releases its group.
  void execute_any_executable(AnyExecutable & any_exec);

  /// Takes one unit of ready work without waiting.
  bool get_next_ready_executable(AnyExecutable & any_executable);

  /// Takes one unit of work, waiting up to timeout (negative: forever) for it.
  bool get_next_executable(
      AnyExecutable & any_executable,
      std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  void spin_once_impl(std::chrono::nanoseconds timeout);

  std::atomic_bool spinning;

  std::shared_ptr<rclcpp::Context> context_;

  RCLCPP_DISABLE_COPY(Executor)

private:
  using WeakCallbackGroupsToNodesMap = std::map<
      rclcpp::CallbackGroup::WeakPtr,
      rclcpp::node_interfaces::NodeBaseInterface::WeakPtr,
      std::owner_less<rclcpp::CallbackGroup::WeakPtr>>;

  /// Takes groups created since the last scan from the nodes (mutex_ held).
  void refresh_groups_from_nodes();

  /// Live groups served by this executor, with their node (mutex_ held).
  std::vector<std::pair<
      rclcpp::CallbackGroup::SharedPtr,
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr>>
  collect_groups();

  /// Time until the earliest timer of the served groups (max() if none).
  std::chrono::nanoseconds next_timer_timeout();

  std::mutex mutex_;
  size_t scan_start_{0};
  std::list<rclcpp::node_interfaces::NodeBaseInterface::WeakPtr> weak_nodes_;
  WeakCallbackGroupsToNodesMap weak_groups_associated_with_executor_to_nodes_;
  WeakCallbackGroupsToNodesMap weak_groups_to_nodes_associated_with_executor_;
};

}  // namespace rclcpp

#endif  // RCLCPP__EXECUTOR_HPP_
