// Navigation2's lifecycle node base: lifecycle node plus the shutdown and bond conventions.
#ifndef NAV2_UTIL__LIFECYCLE_NODE_HPP_
#define NAV2_UTIL__LIFECYCLE_NODE_HPP_

#include <memory>
#include <string>

#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace nav2_util {

using CallbackReturn = rclcpp_lifecycle::node_interfaces::LifecycleNodeInterface::CallbackReturn;

/**
 * @brief A rclcpp_lifecycle::LifecycleNode that declares "bond_disable_heartbeat_timeout",
 * treats an error as recoverable (on_error returns SUCCESS, so the node ends unconfigured) and
 * deactivates and cleans itself up when the context shuts down (on_rcl_preshutdown()).
 *
 * The bond to a lifecycle manager is not implemented: createBond() and destroyBond() only log.
 */
class LifecycleNode : public rclcpp_lifecycle::LifecycleNode
{
public:
  LifecycleNode(
      const std::string & node_name,
      const std::string & ns = "",
      const rclcpp::NodeOptions & options = rclcpp::NodeOptions());

  /** @brief Deactivates and cleans up a node left active or inactive (best effort). */
  virtual ~LifecycleNode();

  using SharedPtr = std::shared_ptr<nav2_util::LifecycleNode>;
  using WeakPtr = std::weak_ptr<nav2_util::LifecycleNode>;
  using SharedConstPtr = std::shared_ptr<const nav2_util::LifecycleNode>;

  std::shared_ptr<nav2_util::LifecycleNode> shared_from_this()
  {
    return std::static_pointer_cast<nav2_util::LifecycleNode>(
        rclcpp_lifecycle::LifecycleNode::shared_from_this());
  }

  /** @brief Logs FATAL and returns SUCCESS: the node goes back to unconfigured. */
  nav2_util::CallbackReturn on_error(const rclcpp_lifecycle::State & /*state*/) override
  {
    RCLCPP_FATAL_STREAM(
        get_logger(), "Lifecycle node " << get_name() << " does not have error state implemented");
    return nav2_util::CallbackReturn::SUCCESS;
  }

  /**
   * @brief Runs in Context::shutdown() before the context becomes invalid: deactivates and
   * cleans up the node, then destroys the bond.
   */
  virtual void on_rcl_preshutdown();

  void createBond();

  void destroyBond();

protected:
  /** @brief Logs that the node waits for external lifecycle transitions. */
  void printLifecycleNodeNotification();

  /**
   * @brief Registers with the node's context a callback that runs on_rcl_preshutdown() unless the
   * node is unconfigured (see dispatch_rcl_preshutdown()).
   */
  void register_rcl_preshutdown_callback();

  /**
   * @brief The registered pre-shutdown callback: on_rcl_preshutdown() for a node that has left
   * the unconfigured state, nothing otherwise, so that it never reaches a node whose construction
   * has not finished.
   */
  void dispatch_rcl_preshutdown();

  std::unique_ptr<rclcpp::PreShutdownCallbackHandle> rcl_preshutdown_cb_handle_{nullptr};

  /** @brief deactivate() if active, then cleanup() if inactive. */
  void runCleanups();
};

}  // namespace nav2_util

#endif  // NAV2_UTIL__LIFECYCLE_NODE_HPP_
