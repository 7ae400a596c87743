// Start-up steps that semanticmap_node and the demo share: holding back shutdown signals until
// rclcpp handles them, and the start-up transitions of the two nodes.
#ifndef BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_STARTUP_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_STARTUP_HPP_

#include <signal.h>

#include <cstdint>
#include <string>

#include "lifecycle_msgs/msg/state.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "util/util.hpp"

namespace semantic_map {

/**
 * @brief Blocks SIGINT and SIGTERM in the calling thread from construction until release() (or
 * destruction). Meant for the main thread before rclcpp::init: a signal that comes before rclcpp
 * has installed its handlers stays pending and reaches them once released, instead of ending the
 * process unannounced.
 */
class ShutdownSignalsHeld
{
public:
  ShutdownSignalsHeld()
  {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  }

  ~ShutdownSignalsHeld() { release(); }

  ShutdownSignalsHeld(const ShutdownSignalsHeld &) = delete;
  ShutdownSignalsHeld & operator=(const ShutdownSignalsHeld &) = delete;

  /// Unblocks both signals; a pending one is delivered now.
  void release()
  {
    if (held_) {
      held_ = false;
      pthread_sigmask(SIG_UNBLOCK, &signals_, nullptr);
    }
  }

private:
  sigset_t signals_;
  bool held_{true};
};

/**
 * @brief Configures @p global, then @p local, then activates @p global, then @p local, whatever the
 * results of the earlier steps, and logs one ERROR per node and transition that failed, prefixed by @p program.
 *
 * A transition that could not start because an earlier one of its node failed is not reported
 * again. Once the context is shut down (a signal) no further transition starts and nothing is
 * reported: start-up is cut short on purpose. Runs on the start-up thread.
 */
inline void runStartupTransitions(
    rclcpp_lifecycle::LifecycleNode & global,
    rclcpp_lifecycle::LifecycleNode & local,
    const std::string & program)
{
  using lifecycle_msgs::msg::State;
  struct Step
  {
    rclcpp_lifecycle::LifecycleNode & node;
    bool activate;
  };
  for (const Step & step : {Step{global, false}, Step{local, false}, Step{global, true},
                            Step{local, true}}) {
    if (!rclcpp::ok()) {
      // Shut down meanwhile (a signal): nothing is gained by bringing a node up now.
      return;
    }
    const uint8_t from =
        step.activate ? State::PRIMARY_STATE_INACTIVE : State::PRIMARY_STATE_UNCONFIGURED;
    const uint8_t goal = step.activate ? State::PRIMARY_STATE_ACTIVE : State::PRIMARY_STATE_INACTIVE;
    const bool could_start = step.node.get_current_state().id() == from;
    const rclcpp_lifecycle::State & reached =
        step.activate ? step.node.activate() : step.node.configure();
    if (could_start && reached.id() != goal && rclcpp::ok()) {
      brindlex::Logger::Log(
          3,
          "{}: start-up transition {} of {} failed, the node is {}",
          program,
          step.activate ? "activate" : "configure",
          step.node.get_name(),
          reached.label());
    }
  }
}

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_STARTUP_HPP_
