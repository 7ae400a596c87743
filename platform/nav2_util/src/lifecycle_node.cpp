#include "nav2_util/lifecycle_node.hpp"

#include <memory>
#include <string>

#include "lifecycle_msgs/msg/state.hpp"

namespace nav2_util {

namespace {
// Name of the bond package's parameter (bond::msg::Constants::DISABLE_HEARTBEAT_TIMEOUT_PARAM).
constexpr const char * kDisableHeartbeatTimeoutParam = "bond_disable_heartbeat_timeout";
}  // namespace

LifecycleNode::LifecycleNode(
    const std::string & node_name, const std::string & ns, const rclcpp::NodeOptions & options)
    : rclcpp_lifecycle::LifecycleNode(node_name, ns, options)
{
  // The server side of the bond never times out on the lifecycle manager.
  this->declare_parameter(kDisableHeartbeatTimeoutParam, true);
  this->set_parameter(rclcpp::Parameter(kDisableHeartbeatTimeoutParam, true));

  printLifecycleNodeNotification();

  register_rcl_preshutdown_callback();
}

LifecycleNode::~LifecycleNode()
{
  RCLCPP_INFO(get_logger(), "Destroying");

  runCleanups();

  if (rcl_preshutdown_cb_handle_) {
    rclcpp::Context::SharedPtr context = get_node_base_interface()->get_context();
    context->remove_pre_shutdown_callback(*rcl_preshutdown_cb_handle_);
    rcl_preshutdown_cb_handle_.reset();
  }
}

void LifecycleNode::createBond()
{
  RCLCPP_INFO(get_logger(), "Creating bond (%s) to lifecycle manager.", this->get_name());
}

void LifecycleNode::destroyBond()
{
  RCLCPP_INFO(get_logger(), "Destroying bond (%s) to lifecycle manager.", this->get_name());
}

void LifecycleNode::runCleanups()
{
  // Best effort for a node that was not brought down: only the active and inactive states are
  // handled.
  if (get_current_state().id() == lifecycle_msgs::msg::State::PRIMARY_STATE_ACTIVE) {
    this->deactivate();
  }
  if (get_current_state().id() == lifecycle_msgs::msg::State::PRIMARY_STATE_INACTIVE) {
    this->cleanup();
  }
}

void LifecycleNode::on_rcl_preshutdown()
{
  RCLCPP_INFO(get_logger(), "Running Nav2 LifecycleNode rcl preshutdown (%s)", this->get_name());

  runCleanups();

  destroyBond();
}

void LifecycleNode::register_rcl_preshutdown_callback()
{
  rclcpp::Context::SharedPtr context = get_node_base_interface()->get_context();
  rcl_preshutdown_cb_handle_ = std::make_unique<rclcpp::PreShutdownCallbackHandle>(
      context->add_pre_shutdown_callback([this]() { dispatch_rcl_preshutdown(); }));
}

void LifecycleNode::dispatch_rcl_preshutdown()
{
  // Registered by this constructor, so a signal can run it while a derived class is still being
  // built: a virtual call would then reach members not yet initialised. An unconfigured node has
  // nothing to bring down, and every node under construction is unconfigured; a node can leave
  // that state only through a transition, which needs a finished node, and the state is atomic,
  // so seeing another state also orders this call after the construction.
  if (get_current_state().id() == lifecycle_msgs::msg::State::PRIMARY_STATE_UNCONFIGURED) {
    return;
  }
  on_rcl_preshutdown();
}

void LifecycleNode::printLifecycleNodeNotification()
{
  RCLCPP_INFO(
      get_logger(),
      "\n\t%s lifecycle node launched. \n"
      "\tWaiting on external lifecycle transitions to activate\n"
      "\tSee https://design.ros2.org/articles/node_lifecycle.html for more information.",
      get_name());
}

}  // namespace nav2_util
