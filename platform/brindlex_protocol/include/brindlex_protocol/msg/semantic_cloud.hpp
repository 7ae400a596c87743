#ifndef BRINDLEX_PROTOCOL__MSG__SEMANTIC_CLOUD_HPP_
#define BRINDLEX_PROTOCOL__MSG__SEMANTIC_CLOUD_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace brindlex_protocol {
namespace msg {

// Points of one semantic class seen by one camera, in the frame of the enclosing cloud.
struct SemanticCloud
{
  ROSIDL_STANDIN_POINTER_ALIASES(SemanticCloud)

  int32_t semantic_id = 0;
  float confidence = 0.0f;
  bool flag = false;
  sensor_msgs::msg::PointCloud2 points;

  bool operator==(const SemanticCloud & other) const
  {
    return semantic_id == other.semantic_id && confidence == other.confidence &&
           flag == other.flag && points == other.points;
  }
  bool operator!=(const SemanticCloud & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace brindlex_protocol

ROSIDL_STANDIN_MESSAGE_TRAITS(
    brindlex_protocol::msg::SemanticCloud, "brindlex_protocol/msg/SemanticCloud")

#endif  // BRINDLEX_PROTOCOL__MSG__SEMANTIC_CLOUD_HPP_
