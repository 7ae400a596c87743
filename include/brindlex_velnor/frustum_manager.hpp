#ifndef BRINDLEX_VELNOR__FRUSTUM_MANAGER_HPP_
#define BRINDLEX_VELNOR__FRUSTUM_MANAGER_HPP_

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_velnor/frustum_detector.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace velnor {

class FrustumAgent;

/**
 * @brief The camera frustums of one depth-camera cache, one slot per frustum name.
 *
 * A slot gets its detector once one CameraInfo message of its camera has arrived. The detectors
 * are built on the manager's own thread (the frustum thread), which subscribes to each pending
 * camera's CameraInfo topic for one wait at a time and retries the others in its next pass.
 *
 * Per map update, on the map-update thread: `clear`, the agents' `setInput`, then `getUsing`.
 *
 * Locking: one mutex (with its condition variable) guards the slots, the in-use marks, the
 * pending requests and the stop flag. Callers may hold an observation buffer's mutex when they
 * reach it through an agent (buffer mutex, then manager mutex), never the reverse. The frustum
 * thread never holds it across a CameraInfo wait, so no per-cycle call waits on the camera.
 */
class FrustumManager
{
public:
  /// The settings of one frustum.
  struct Option
  {
    std::string name;               ///< slot key, matched by a source's frustum name
    std::string camera_info_topic;  ///< where the camera's CameraInfo comes from
    double min_view_distance{0.0};  ///< m
    double max_view_distance{0.0};  ///< m
    double theta_resolution{0.0};   ///< rad, angle bin of the slope grid
    double r_resolution{0.0};       ///< m, range bin of the slope grid
    FrustumDetectorStrategy strategy;
  };

  /**
   * @brief Start the frustum thread, then add @p options.
   * @param camera_info_wait seconds the frustum thread waits for one CameraInfo per attempt
   */
  FrustumManager(
      std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
      const std::vector<Option> & options,
      double camera_info_wait = 0.5);

  /// Stops and joins the frustum thread (after its current CameraInfo wait at most).
  ~FrustumManager();

  FrustumManager(const FrustumManager &) = delete;
  FrustumManager & operator=(const FrustumManager &) = delete;

  /// Append a slot and its build request; false (ERROR record) when the name exists already.
  bool add(const Option & option, bool notify);

  /// Add each option in order (duplicates are reported and skipped); always true.
  bool add(const std::vector<Option> & options, bool notify);

  /// An agent on the first slot named @p name, or empty (ERROR record) when there is none.
  std::shared_ptr<FrustumAgent> registerAgent(const std::string & name);

  /// Unmark every slot in use and clear its detector. Always true.
  bool clear();

  /// The detectors that got input since the last `clear`, finalised, in slot order.
  std::vector<std::shared_ptr<FrustumDetector>> getUsing();

  /// The body of the frustum thread; runs on the manager's own thread only.
  void updateLoop();

private:
  friend class FrustumAgent;

  struct BuildRequest
  {
    int32_t index;
    Option option;
  };

  // Everything the frustum thread touches, shared with it, so that the thread can finish safely
  // even when the manager is destroyed on the frustum thread itself (when that thread happens to
  // drop the last reference to the node that owns the manager).
  struct State
  {
    std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node;
    double camera_info_wait;
    std::mutex mutex;
    std::condition_variable condition;
    std::vector<std::string> names;
    std::vector<std::shared_ptr<FrustumDetector>> detectors;
    std::vector<bool> in_use;
    std::vector<BuildRequest> requests;
    uint64_t generation{0};  ///< counts added requests, so an idle thread sees new work
    bool stop{false};
  };

  static void run(const std::shared_ptr<State> & state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__FRUSTUM_MANAGER_HPP_
