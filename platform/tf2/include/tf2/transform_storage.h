// One stamped parent-to-child transform as the time caches store it.
#ifndef TF2__TRANSFORM_STORAGE_H_
#define TF2__TRANSFORM_STORAGE_H_

#include <cstdint>

#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Vector3.h"
#include "tf2/time.h"
#include "tf2/visibility_control.h"

namespace tf2 {

typedef uint32_t CompactFrameID;

/// Rotation and translation of child_frame_id_ in frame_id_ at stamp_.
class TransformStorage
{
public:
  TF2_PUBLIC TransformStorage();
  TF2_PUBLIC TransformStorage(
      const TimePoint & stamp,
      const Quaternion & q,
      const Vector3 & t,
      CompactFrameID frame_id,
      CompactFrameID child_frame_id);

  TF2_PUBLIC bool operator==(const TransformStorage & rhs) const
  {
    return rotation_ == rhs.rotation_ && translation_ == rhs.translation_ && stamp_ == rhs.stamp_ &&
           frame_id_ == rhs.frame_id_ && child_frame_id_ == rhs.child_frame_id_;
  }

  tf2::Quaternion rotation_;
  tf2::Vector3 translation_;
  TimePoint stamp_;
  CompactFrameID frame_id_;
  CompactFrameID child_frame_id_;
};

}  // namespace tf2

#endif  // TF2__TRANSFORM_STORAGE_H_
