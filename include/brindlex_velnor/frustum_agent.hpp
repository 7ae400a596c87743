#ifndef BRINDLEX_VELNOR__FRUSTUM_AGENT_HPP_
#define BRINDLEX_VELNOR__FRUSTUM_AGENT_HPP_

#include <Eigen/Core>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "brindlex_velnor/frustum_manager.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"

namespace velnor {

class FrustumDetector;

/**
 * @brief An observation source's handle on one frustum slot of a FrustumManager.
 *
 * Both operations answer false until the slot's detector has been built. The manager should
 * outlive its agents; an agent that outlives it still works on the slots it shared with it.
 * Callers serialise their own calls (the observation buffer's mutex).
 */
class FrustumAgent
{
public:
  FrustumAgent(FrustumManager * manager, unsigned index);

  /// The camera frame of the slot's detector.
  bool getFrameId(std::string & frame);

  /**
   * @brief Feed the cycle's input: the first call after the manager's `clear` poses and shapes the
   * detector and marks the slot in use; every call bins its clouds (global points, 3 x N).
   * Runs on the map-update thread.
   */
  bool setInput(
      const geometry_msgs::msg::TransformStamped & camera_transform,
      const geometry_msgs::msg::Polygon & shape,
      const std::vector<const Eigen::Matrix<float, 3, Eigen::Dynamic> *> & clouds);

private:
  std::shared_ptr<FrustumDetector> validate();

  FrustumManager * manager;
  uint32_t index;
  std::shared_ptr<FrustumManager::State> slots;  ///< the manager's slots, kept alive
  std::atomic<bool> validated;
  std::shared_ptr<FrustumDetector> detector;  ///< set once validated; never replaced
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__FRUSTUM_AGENT_HPP_
