#include "brindlex_velnor/frustum_manager.hpp"

#include <algorithm>
#include <exception>
#include <utility>

#include "brindlex_velnor/camera_info_util.hpp"
#include "brindlex_velnor/frustum_agent.hpp"
#include "util/util.hpp"

namespace velnor {

FrustumManager::FrustumManager(
    std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
    const std::vector<Option> & options,
    double camera_info_wait)
    : state_(std::make_shared<State>())
{
  state_->node = std::move(node);
  state_->camera_info_wait = camera_info_wait;
  thread_ = std::thread(&FrustumManager::run, state_);
  add(options, true);
}

FrustumManager::~FrustumManager()
{
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
  }
  state_->condition.notify_all();
  if (!thread_.joinable()) {
    return;
  }
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Destroyed by the frustum thread itself: it cannot join itself, and it only touches the
    // shared state from here on, which it keeps alive.
    thread_.detach();
  } else {
    thread_.join();
  }
}

bool FrustumManager::add(const Option & option, bool notify)
{
  bool duplicate = false;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto & names = state_->names;
    duplicate = std::find(names.begin(), names.end(), option.name) != names.end();
    if (!duplicate) {
      names.push_back(option.name);
      state_->detectors.emplace_back();
      state_->in_use.push_back(false);
      state_->requests.push_back({static_cast<int32_t>(names.size() - 1), option});
      ++state_->generation;
    }
  }
  if (duplicate) {
    LOG_ERROR("FrustumManager::add repeat name {}, ignore", option.name);
    return false;
  }
  if (notify) {
    state_->condition.notify_all();
  }
  LOG_INFO("FrustumManager::add name {} success", option.name);
  return true;
}

bool FrustumManager::add(const std::vector<Option> & options, bool notify)
{
  for (const auto & option : options) {
    add(option, false);
  }
  if (notify) {
    state_->condition.notify_all();
  }
  return true;
}

std::shared_ptr<FrustumAgent> FrustumManager::registerAgent(const std::string & name)
{
  int64_t found = -1;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const auto & names = state_->names;
    const auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) {
      found = it - names.begin();
    }
  }
  if (found < 0) {
    LOG_ERROR("FrustumManager::registerAgent get name {} failed, return nullptr", name);
    return nullptr;
  }
  LOG_INFO("FrustumManager::registerAgent get name {} success", name);
  return std::make_shared<FrustumAgent>(this, static_cast<unsigned>(found));
}

bool FrustumManager::clear()
{
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (size_t k = 0; k < state_->in_use.size(); ++k) {
    if (state_->in_use[k]) {
      state_->in_use[k] = false;
      state_->detectors[k]->clear();
    }
  }
  return true;
}

std::vector<std::shared_ptr<FrustumDetector>> FrustumManager::getUsing()
{
  std::vector<std::shared_ptr<FrustumDetector>> result;
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (size_t k = 0; k < state_->in_use.size(); ++k) {
    if (state_->in_use[k]) {
      state_->detectors[k]->fixSetting();
      result.push_back(state_->detectors[k]);
    }
  }
  return result;
}

void FrustumManager::updateLoop() { run(state_); }

void FrustumManager::run(const std::shared_ptr<State> & state)
{
  // Set after a pass that did not wait for any camera (every pending topic empty, the node gone
  // or its context shut down): repeating such a pass at once would only spin, so the thread then
  // sleeps until a request is added or it is told to stop.
  bool idle = false;
  uint64_t seen_generation = 0;
  while (true) {
    std::vector<BuildRequest> pending;
    std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node;
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->condition.wait(lock, [&] {
        return state->stop ||
               (!state->requests.empty() && (!idle || state->generation != seen_generation));
      });
      if (state->stop) {
        return;
      }
      pending = state->requests;
      seen_generation = state->generation;
      node = state->node.lock();
    }

    bool waited = false;
    if (node) {
      const auto context = node->get_node_base_interface()->get_context();
      for (const auto & request : pending) {
        {
          std::lock_guard<std::mutex> lock(state->mutex);
          if (state->stop) {
            break;
          }
        }
        const auto & option = request.option;
        if (option.camera_info_topic.empty()) {
          continue;
        }
        if (!context || !context->is_valid()) {
          break;
        }
        sensor_msgs::msg::CameraInfo info;
        bool received = false;
        waited = true;
        try {
          received =
              util::get_cam_para(node, option.camera_info_topic, info, state->camera_info_wait);
        } catch (const std::exception & e) {
          // A topic name that ROS rejects never becomes valid: give the slot up instead of
          // failing again in every pass.
          LOG_ERROR(
              "FrustumManager camera info topic {} of frustum {} cannot be subscribed, frustum "
              "disabled: {}",
              option.camera_info_topic,
              option.name,
              e.what());
          std::lock_guard<std::mutex> lock(state->mutex);
          auto & requests = state->requests;
          requests.erase(
              std::remove_if(
                  requests.begin(),
                  requests.end(),
                  [&](const BuildRequest & r) { return r.index == request.index; }),
              requests.end());
          continue;
        }
        if (!received) {
          continue;
        }
        auto detector = std::make_shared<FrustumDetector>(
            info,
            static_cast<float>(option.min_view_distance),
            static_cast<float>(option.max_view_distance),
            static_cast<float>(option.theta_resolution),
            static_cast<float>(option.r_resolution),
            option.strategy);
        std::lock_guard<std::mutex> lock(state->mutex);
        const auto slot = static_cast<size_t>(request.index);
        state->in_use[slot] = false;
        state->detectors[slot] = std::move(detector);
        auto & requests = state->requests;
        requests.erase(
            std::remove_if(
                requests.begin(),
                requests.end(),
                [&](const BuildRequest & r) { return r.index == request.index; }),
            requests.end());
      }
    }
    idle = !waited;
    // May release the last reference to the node, and with it this manager; only the shared
    // state is touched afterwards.
    node.reset();
  }
}

}  // namespace velnor
