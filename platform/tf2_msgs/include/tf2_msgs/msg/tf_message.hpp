#ifndef TF2_MSGS__MSG__TF_MESSAGE_HPP_
#define TF2_MSGS__MSG__TF_MESSAGE_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace tf2_msgs {
namespace msg {

struct TFMessage
{
  ROSIDL_STANDIN_POINTER_ALIASES(TFMessage)

  std::vector<geometry_msgs::msg::TransformStamped> transforms;

  bool operator==(const TFMessage & other) const { return transforms == other.transforms; }
  bool operator!=(const TFMessage & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace tf2_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(tf2_msgs::msg::TFMessage, "tf2_msgs/msg/TFMessage")

#endif  // TF2_MSGS__MSG__TF_MESSAGE_HPP_
