#include "lifecycle_node_interface_impl.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp_lifecycle {

using TransitionMsg = lifecycle_msgs::msg::Transition;
using StateMsg = lifecycle_msgs::msg::State;

namespace {

const char * label_for_return_code(
    node_interfaces::LifecycleNodeInterface::CallbackReturn cb_return_code)
{
  switch (cb_return_code) {
    case node_interfaces::LifecycleNodeInterface::CallbackReturn::SUCCESS:
      return "transition_success";
    case node_interfaces::LifecycleNodeInterface::CallbackReturn::FAILURE:
      return "transition_failure";
    default:
      return "transition_error";
  }
}

}  // namespace

LifecycleNode::LifecycleNodeInterfaceImpl::LifecycleNodeInterfaceImpl()
    : logger_(rclcpp::get_logger("rclcpp_lifecycle"))
{
  const std::pair<uint8_t, const char *> state_labels[] = {
      {StateMsg::PRIMARY_STATE_UNKNOWN, "unknown"},
      {StateMsg::PRIMARY_STATE_UNCONFIGURED, "unconfigured"},
      {StateMsg::PRIMARY_STATE_INACTIVE, "inactive"},
      {StateMsg::PRIMARY_STATE_ACTIVE, "active"},
      {StateMsg::PRIMARY_STATE_FINALIZED, "finalized"},
      {StateMsg::TRANSITION_STATE_CONFIGURING, "configuring"},
      {StateMsg::TRANSITION_STATE_CLEANINGUP, "cleaningup"},
      {StateMsg::TRANSITION_STATE_SHUTTINGDOWN, "shuttingdown"},
      {StateMsg::TRANSITION_STATE_ACTIVATING, "activating"},
      {StateMsg::TRANSITION_STATE_DEACTIVATING, "deactivating"},
      {StateMsg::TRANSITION_STATE_ERRORPROCESSING, "errorprocessing"},
  };
  for (const auto & state_label : state_labels) {
    states_.emplace(state_label.first, State(state_label.first, state_label.second));
  }

  const uint8_t unconfigured = StateMsg::PRIMARY_STATE_UNCONFIGURED;
  const uint8_t inactive = StateMsg::PRIMARY_STATE_INACTIVE;
  const uint8_t active = StateMsg::PRIMARY_STATE_ACTIVE;
  const uint8_t finalized = StateMsg::PRIMARY_STATE_FINALIZED;
  const uint8_t configuring = StateMsg::TRANSITION_STATE_CONFIGURING;
  const uint8_t cleaningup = StateMsg::TRANSITION_STATE_CLEANINGUP;
  const uint8_t shuttingdown = StateMsg::TRANSITION_STATE_SHUTTINGDOWN;
  const uint8_t activating = StateMsg::TRANSITION_STATE_ACTIVATING;
  const uint8_t deactivating = StateMsg::TRANSITION_STATE_DEACTIVATING;
  const uint8_t errorprocessing = StateMsg::TRANSITION_STATE_ERRORPROCESSING;
  edges_ = {
      {TransitionMsg::TRANSITION_CONFIGURE, "configure", unconfigured, configuring},
      {TransitionMsg::TRANSITION_ON_CONFIGURE_SUCCESS, "transition_success", configuring, inactive},
      {TransitionMsg::TRANSITION_ON_CONFIGURE_FAILURE,
       "transition_failure",
       configuring,
       unconfigured},
      {TransitionMsg::TRANSITION_ON_CONFIGURE_ERROR,
       "transition_error",
       configuring,
       errorprocessing},
      {TransitionMsg::TRANSITION_CLEANUP, "cleanup", inactive, cleaningup},
      {TransitionMsg::TRANSITION_ON_CLEANUP_SUCCESS,
       "transition_success",
       cleaningup,
       unconfigured},
      {TransitionMsg::TRANSITION_ON_CLEANUP_FAILURE, "transition_failure", cleaningup, inactive},
      {TransitionMsg::TRANSITION_ON_CLEANUP_ERROR, "transition_error", cleaningup, errorprocessing},
      {TransitionMsg::TRANSITION_ACTIVATE, "activate", inactive, activating},
      {TransitionMsg::TRANSITION_ON_ACTIVATE_SUCCESS, "transition_success", activating, active},
      {TransitionMsg::TRANSITION_ON_ACTIVATE_FAILURE, "transition_failure", activating, inactive},
      {TransitionMsg::TRANSITION_ON_ACTIVATE_ERROR,
       "transition_error",
       activating,
       errorprocessing},
      {TransitionMsg::TRANSITION_DEACTIVATE, "deactivate", active, deactivating},
      {TransitionMsg::TRANSITION_ON_DEACTIVATE_SUCCESS,
       "transition_success",
       deactivating,
       inactive},
      {TransitionMsg::TRANSITION_ON_DEACTIVATE_FAILURE, "transition_failure", deactivating, active},
      {TransitionMsg::TRANSITION_ON_DEACTIVATE_ERROR,
       "transition_error",
       deactivating,
       errorprocessing},
      {TransitionMsg::TRANSITION_UNCONFIGURED_SHUTDOWN, "shutdown", unconfigured, shuttingdown},
      {TransitionMsg::TRANSITION_INACTIVE_SHUTDOWN, "shutdown", inactive, shuttingdown},
      {TransitionMsg::TRANSITION_ACTIVE_SHUTDOWN, "shutdown", active, shuttingdown},
      {TransitionMsg::TRANSITION_ON_SHUTDOWN_SUCCESS,
       "transition_success",
       shuttingdown,
       finalized},
      {TransitionMsg::TRANSITION_ON_SHUTDOWN_FAILURE,
       "transition_failure",
       shuttingdown,
       finalized},
      {TransitionMsg::TRANSITION_ON_SHUTDOWN_ERROR,
       "transition_error",
       shuttingdown,
       errorprocessing},
      {TransitionMsg::TRANSITION_ON_ERROR_SUCCESS,
       "transition_success",
       errorprocessing,
       unconfigured},
      {TransitionMsg::TRANSITION_ON_ERROR_FAILURE,
       "transition_failure",
       errorprocessing,
       finalized},
      {TransitionMsg::TRANSITION_ON_ERROR_ERROR, "transition_error", errorprocessing, finalized},
  };
  current_state_.store(&states_.at(unconfigured));
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::register_callback(
    uint8_t lifecycle_transition, TransitionCallback & cb)
{
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  cb_map_[lifecycle_transition] = cb;
  return true;
}

const State & LifecycleNode::LifecycleNodeInterfaceImpl::get_current_state() const
{
  return *current_state_.load();
}

std::vector<State> LifecycleNode::LifecycleNodeInterfaceImpl::get_available_states() const
{
  std::vector<State> states;
  for (const auto & entry : states_) {
    if (entry.first != StateMsg::PRIMARY_STATE_UNKNOWN) {
      states.push_back(entry.second);
    }
  }
  return states;
}

Transition LifecycleNode::LifecycleNodeInterfaceImpl::to_transition(const Edge & edge) const
{
  return rclcpp_lifecycle::Transition(
      edge.id, edge.label, State(states_.at(edge.start)), State(states_.at(edge.goal)));
}

std::vector<Transition> LifecycleNode::LifecycleNodeInterfaceImpl::get_available_transitions() const
{
  std::vector<Transition> transitions;
  const uint8_t current = current_state_.load()->id();
  for (const auto & edge : edges_) {
    if (edge.start == current) {
      transitions.push_back(to_transition(edge));
    }
  }
  return transitions;
}

std::vector<Transition> LifecycleNode::LifecycleNodeInterfaceImpl::get_transition_graph() const
{
  std::vector<Transition> transitions;
  for (const auto & edge : edges_) {
    transitions.push_back(to_transition(edge));
  }
  return transitions;
}

template <typename MatchT>
const LifecycleNode::LifecycleNodeInterfaceImpl::Edge *
LifecycleNode::LifecycleNodeInterfaceImpl::find_edge_if(uint8_t start, MatchT matches) const
{
  for (const auto & edge : edges_) {
    if (edge.start == start && matches(edge)) {
      return &edge;
    }
  }
  return nullptr;
}

const LifecycleNode::LifecycleNodeInterfaceImpl::Edge *
LifecycleNode::LifecycleNodeInterfaceImpl::find_edge(uint8_t start, uint8_t id) const
{
  return find_edge_if(start, [id](const Edge & edge) { return edge.id == id; });
}

const LifecycleNode::LifecycleNodeInterfaceImpl::Edge *
LifecycleNode::LifecycleNodeInterfaceImpl::find_edge(uint8_t start, const std::string & label) const
{
  return find_edge_if(start, [&label](const Edge & edge) { return edge.label == label; });
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::change_state_by_label(
    const std::string & label, CallbackReturn & cb_return_code)
{
  uint8_t id = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    const State * current = current_state_.load();
    const Edge * edge = find_edge(current->id(), label);
    if (edge == nullptr) {
      RCLCPP_ERROR(
          logger_,
          "Unable to start transition %s from current state %s: %s",
          label.c_str(),
          current->label().c_str(),
          "Transition is not registered.");
      return false;
    }
    id = edge->id;
  }
  return change_state(id, cb_return_code);
}

bool LifecycleNode::LifecycleNodeInterfaceImpl::change_state(
    uint8_t transition_id, CallbackReturn & cb_return_code)
{
  State initial_state;
  uint8_t current_state_id = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    const State * current = current_state_.load();
    const Edge * edge = find_edge(current->id(), transition_id);
    if (edge == nullptr) {
      RCLCPP_ERROR(
          logger_,
          "Unable to start transition %u from current state %s: %s",
          static_cast<unsigned>(transition_id),
          current->label().c_str(),
          "Transition is not registered.");
      return false;
    }
    initial_state = *current;
    current_state_.store(&states_.at(edge->goal));
    current_state_id = edge->goal;
  }

  // The callback runs without the lock: a transition requested meanwhile finds a transition
  // state and is rejected.
  cb_return_code = execute_callback(current_state_id, initial_state);

  {
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    const Edge * edge = find_edge(current_state_id, label_for_return_code(cb_return_code));
    if (edge == nullptr) {
      RCLCPP_ERROR(
          logger_,
          "Failed to finish transition %u. Current state is now: %s",
          static_cast<unsigned>(transition_id),
          current_state_.load()->label().c_str());
      return false;
    }
    current_state_.store(&states_.at(edge->goal));
    current_state_id = edge->goal;
  }

  if (cb_return_code == CallbackReturn::ERROR) {
    RCLCPP_WARN(logger_, "Error occurred while doing error handling.");
    auto error_cb_code = execute_callback(current_state_id, initial_state);
    std::lock_guard<std::recursive_mutex> lock(state_machine_mutex_);
    const Edge * edge = find_edge(current_state_id, label_for_return_code(error_cb_code));
    if (edge == nullptr) {
      RCLCPP_ERROR(logger_, "Failed to call cleanup on error state");
      return false;
    }
    current_state_.store(&states_.at(edge->goal));
  }
  return true;
}

LifecycleNode::LifecycleNodeInterfaceImpl::CallbackReturn
LifecycleNode::LifecycleNodeInterfaceImpl::execute_callback(
    uint8_t cb_id, const State & previous_state)
{
  auto cb_success = CallbackReturn::SUCCESS;
  TransitionCallback callback;
  {
    std::lock_guard<std::mutex> lock(callbacks_mutex_);
    auto it = cb_map_.find(cb_id);
    if (it != cb_map_.end()) {
      callback = it->second;
    }
  }
  if (callback) {
    try {
      cb_success = callback(State(previous_state));
    } catch (const std::exception & e) {
      RCLCPP_ERROR(logger_, "Caught exception in callback for transition %d", cb_id);
      RCLCPP_ERROR(logger_, "Original error: %s", e.what());
      cb_success = CallbackReturn::ERROR;
    }
  }
  return cb_success;
}

void LifecycleNode::LifecycleNodeInterfaceImpl::add_managed_entity(
    std::weak_ptr<ManagedEntityInterface> managed_entity)
{
  std::lock_guard<std::mutex> lock(managed_entities_mutex_);
  weak_managed_entities_.push_back(managed_entity);
}

std::vector<std::shared_ptr<ManagedEntityInterface>>
LifecycleNode::LifecycleNodeInterfaceImpl::live_managed_entities()
{
  std::vector<std::shared_ptr<ManagedEntityInterface>> entities;
  std::lock_guard<std::mutex> lock(managed_entities_mutex_);
  for (const auto & weak_entity : weak_managed_entities_) {
    if (auto entity = weak_entity.lock()) {
      entities.push_back(entity);
    }
  }
  return entities;
}

void LifecycleNode::LifecycleNodeInterfaceImpl::on_activate()
{
  for (const auto & entity : live_managed_entities()) {
    entity->on_activate();
  }
}

void LifecycleNode::LifecycleNodeInterfaceImpl::on_deactivate()
{
  for (const auto & entity : live_managed_entities()) {
    entity->on_deactivate();
  }
}

}  // namespace rclcpp_lifecycle
