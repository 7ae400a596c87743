#ifndef BRINDLEX_PROTOCOL__MSG__SEMANTIC_POINT_CLOUD_HPP_
#define BRINDLEX_PROTOCOL__MSG__SEMANTIC_POINT_CLOUD_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "brindlex_protocol/msg/semantic_cloud.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace brindlex_protocol {
namespace msg {

// Per-camera perception output: points grouped by semantic class, plus the image outline.
struct SemanticPointCloud
{
  ROSIDL_STANDIN_POINTER_ALIASES(SemanticPointCloud)

  std_msgs::msg::Header header;
  std::vector<brindlex_protocol::msg::SemanticCloud> semantic_clouds;
  uint64_t sequence = 0;
  geometry_msgs::msg::Polygon polygon;

  bool operator==(const SemanticPointCloud & other) const
  {
    return header == other.header && semantic_clouds == other.semantic_clouds &&
           sequence == other.sequence && polygon == other.polygon;
  }
  bool operator!=(const SemanticPointCloud & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace brindlex_protocol

ROSIDL_STANDIN_MESSAGE_TRAITS(
    brindlex_protocol::msg::SemanticPointCloud, "brindlex_protocol/msg/SemanticPointCloud")

#endif  // BRINDLEX_PROTOCOL__MSG__SEMANTIC_POINT_CLOUD_HPP_
