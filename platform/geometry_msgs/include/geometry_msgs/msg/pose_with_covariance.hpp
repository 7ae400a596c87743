#ifndef GEOMETRY_MSGS__MSG__POSE_WITH_COVARIANCE_HPP_
#define GEOMETRY_MSGS__MSG__POSE_WITH_COVARIANCE_HPP_

#include <array>
#include <memory>

#include "geometry_msgs/msg/pose.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct PoseWithCovariance
{
  ROSIDL_STANDIN_POINTER_ALIASES(PoseWithCovariance)

  geometry_msgs::msg::Pose pose;
  std::array<double, 36> covariance{};

  bool operator==(const PoseWithCovariance & other) const
  {
    return pose == other.pose && covariance == other.covariance;
  }
  bool operator!=(const PoseWithCovariance & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    geometry_msgs::msg::PoseWithCovariance, "geometry_msgs/msg/PoseWithCovariance")

#endif  // GEOMETRY_MSGS__MSG__POSE_WITH_COVARIANCE_HPP_
