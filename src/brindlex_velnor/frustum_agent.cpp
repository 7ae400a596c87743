#include "brindlex_velnor/frustum_agent.hpp"

#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/frustum_manager.hpp"

namespace velnor {

FrustumAgent::FrustumAgent(FrustumManager * owner, unsigned slot)
    : manager(owner), index(slot), slots(owner->state_), validated(false)
{
}

std::shared_ptr<FrustumDetector> FrustumAgent::validate()
{
  if (validated.load(std::memory_order_acquire)) {
    return detector;
  }
  auto & state = *slots;
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!validated.load(std::memory_order_relaxed)) {
    if (index >= state.detectors.size() || !state.detectors[index]) {
      return nullptr;
    }
    detector = state.detectors[index];
    validated.store(true, std::memory_order_release);
  }
  return detector;
}

bool FrustumAgent::getFrameId(std::string & frame)
{
  const auto slot_detector = validate();
  if (!slot_detector) {
    return false;
  }
  // The camera frame never changes after the detector is built.
  frame = slot_detector->param.frame_id;
  return true;
}

bool FrustumAgent::setInput(
    const geometry_msgs::msg::TransformStamped & camera_transform,
    const geometry_msgs::msg::Polygon & shape,
    const std::vector<const Eigen::Matrix<float, 3, Eigen::Dynamic> *> & clouds)
{
  const auto slot_detector = validate();
  if (!slot_detector) {
    return false;
  }
  {
    auto & state = *slots;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.in_use[index]) {
      state.in_use[index] = true;
      slot_detector->setTrans(camera_transform);
      slot_detector->setShape(shape);
    }
  }
  // Only the map-update thread works on a detector in use, so the binning needs no lock.
  for (const auto * cloud : clouds) {
    if (cloud != nullptr) {
      slot_detector->addInputCloud(*cloud);
    }
  }
  return true;
}

}  // namespace velnor
