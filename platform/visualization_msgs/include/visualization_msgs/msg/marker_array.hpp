#ifndef VISUALIZATION_MSGS__MSG__MARKER_ARRAY_HPP_
#define VISUALIZATION_MSGS__MSG__MARKER_ARRAY_HPP_

#include <memory>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"
#include "visualization_msgs/msg/marker.hpp"

namespace visualization_msgs {
namespace msg {

struct MarkerArray
{
  ROSIDL_STANDIN_POINTER_ALIASES(MarkerArray)

  std::vector<visualization_msgs::msg::Marker> markers;

  bool operator==(const MarkerArray & other) const { return markers == other.markers; }
  bool operator!=(const MarkerArray & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace visualization_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    visualization_msgs::msg::MarkerArray, "visualization_msgs/msg/MarkerArray")

#endif  // VISUALIZATION_MSGS__MSG__MARKER_ARRAY_HPP_
