#ifndef RCLCPP__EXECUTORS_HPP_
#define RCLCPP__EXECUTORS_HPP_

#include <future>
#include <memory>

#include "rclcpp/executor.hpp"
#include "rclcpp/executors/multi_threaded_executor.hpp"
#include "rclcpp/executors/single_threaded_executor.hpp"
#include "rclcpp/node.hpp"
#include "rclcpp/utilities.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Runs the node's ready work once with a temporary single-threaded executor.
RCLCPP_PUBLIC
void spin_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr);

RCLCPP_PUBLIC
void spin_some(rclcpp::Node::SharedPtr node_ptr);

/// Spins the node until shutdown with a temporary single-threaded executor.
RCLCPP_PUBLIC
void spin(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr);

RCLCPP_PUBLIC
void spin(rclcpp::Node::SharedPtr node_ptr);

namespace executors {

using rclcpp::executors::MultiThreadedExecutor;
using rclcpp::executors::SingleThreadedExecutor;

template <typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
rclcpp::FutureReturnCode spin_node_until_future_complete(
    rclcpp::Executor & executor,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
{
  executor.add_node(node_ptr);
  auto retcode = executor.spin_until_future_complete(future, timeout);
  executor.remove_node(node_ptr);
  return retcode;
}

template <
    typename NodeT = rclcpp::Node,
    typename FutureT,
    typename TimeRepT = int64_t,
    typename TimeT = std::milli>
rclcpp::FutureReturnCode spin_node_until_future_complete(
    rclcpp::Executor & executor,
    std::shared_ptr<NodeT> node_ptr,
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
{
  return rclcpp::executors::spin_node_until_future_complete(
      executor, node_ptr->get_node_base_interface(), future, timeout);
}

}  // namespace executors

template <typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
rclcpp::FutureReturnCode spin_until_future_complete(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr,
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
{
  rclcpp::executors::SingleThreadedExecutor executor;
  return executors::spin_node_until_future_complete<FutureT>(executor, node_ptr, future, timeout);
}

template <
    typename NodeT = rclcpp::Node,
    typename FutureT,
    typename TimeRepT = int64_t,
    typename TimeT = std::milli>
rclcpp::FutureReturnCode spin_until_future_complete(
    std::shared_ptr<NodeT> node_ptr,
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
{
  return rclcpp::spin_until_future_complete(node_ptr->get_node_base_interface(), future, timeout);
}

}  // namespace rclcpp

#endif  // RCLCPP__EXECUTORS_HPP_
