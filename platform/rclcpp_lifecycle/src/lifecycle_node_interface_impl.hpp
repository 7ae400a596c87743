// The state machine behind rclcpp_lifecycle::LifecycleNode (not installed).
#ifndef LIFECYCLE_NODE_INTERFACE_IMPL_HPP_
#define LIFECYCLE_NODE_INTERFACE_IMPL_HPP_

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/logger.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace rclcpp_lifecycle {

/// The default lifecycle state machine, its transition callbacks and the managed entities.
///
/// Lock order: state_machine_mutex_, then callbacks_mutex_ or managed_entities_mutex_ (never
/// both). Callbacks run with no lock held.
class LifecycleNode::LifecycleNodeInterfaceImpl
{
public:
  using CallbackReturn = node_interfaces::LifecycleNodeInterface::CallbackReturn;
  using TransitionCallback = std::function<CallbackReturn(const State &)>;

  LifecycleNodeInterfaceImpl();

  bool register_callback(uint8_t lifecycle_transition, TransitionCallback & cb);

  const State & get_current_state() const;

  std::vector<State> get_available_states() const;

  std::vector<Transition> get_available_transitions() const;

  std::vector<Transition> get_transition_graph() const;

  /// Runs one transition; false if it could not start or finish.
  bool change_state(uint8_t transition_id, CallbackReturn & cb_return_code);

  /// Runs the transition with this label from the current state ("shutdown").
  bool change_state_by_label(const std::string & label, CallbackReturn & cb_return_code);

  void add_managed_entity(std::weak_ptr<ManagedEntityInterface> managed_entity);

  void on_activate();

  void on_deactivate();

  /// The ~/change_state and ~/get_state services (none when the communication interface is
  /// disabled); released before the node's interfaces.
  std::vector<std::shared_ptr<rclcpp::ServiceBase>> services;

private:
  struct Edge
  {
    uint8_t id;
    std::string label;
    uint8_t start;
    uint8_t goal;
  };

  /// The edge leaving `start` that `matches` accepts, or nullptr.
  template <typename MatchT>
  const Edge * find_edge_if(uint8_t start, MatchT matches) const;
  const Edge * find_edge(uint8_t start, uint8_t id) const;
  const Edge * find_edge(uint8_t start, const std::string & label) const;
  CallbackReturn execute_callback(uint8_t cb_id, const State & previous_state);
  Transition to_transition(const Edge & edge) const;
  /// The managed entities still alive, collected under managed_entities_mutex_ so that their
  /// callbacks run with no lock held.
  std::vector<std::shared_ptr<ManagedEntityInterface>> live_managed_entities();

  rclcpp::Logger logger_;
  // Immutable after construction; current_state_ points into it.
  std::map<uint8_t, State> states_;
  std::vector<Edge> edges_;

  std::recursive_mutex state_machine_mutex_;
  std::atomic<const State *> current_state_;

  std::mutex callbacks_mutex_;
  std::map<uint8_t, TransitionCallback> cb_map_;

  std::mutex managed_entities_mutex_;
  std::vector<std::weak_ptr<ManagedEntityInterface>> weak_managed_entities_;
};

}  // namespace rclcpp_lifecycle

#endif  // LIFECYCLE_NODE_INTERFACE_IMPL_HPP_
