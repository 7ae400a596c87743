// A thread that spins an executor until the object is destroyed.
#ifndef NAV2_UTIL__NODE_THREAD_HPP_
#define NAV2_UTIL__NODE_THREAD_HPP_

#include <atomic>
#include <memory>
#include <thread>

#include "rclcpp/rclcpp.hpp"

namespace nav2_util {

/**
 * @brief Spins an executor on its own thread. The destructor cancels the executor and joins
 * the thread.
 */
class NodeThread
{
public:
  /** @brief Spin a new single-threaded executor holding node_base. */
  explicit NodeThread(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base);

  /** @brief Spin the given executor (its callback groups are added by the caller). */
  explicit NodeThread(rclcpp::executors::SingleThreadedExecutor::SharedPtr executor);

  template <typename NodeT>
  explicit NodeThread(NodeT node) : NodeThread(node->get_node_base_interface())
  {
  }

  ~NodeThread();

protected:
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_;
  std::unique_ptr<std::thread> thread_;
  rclcpp::Executor::SharedPtr executor_;

private:
  void waitUntilSpinningOrDone();

  std::atomic<bool> spin_done_{false};
};

}  // namespace nav2_util

#endif  // NAV2_UTIL__NODE_THREAD_HPP_
