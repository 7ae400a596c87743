#ifndef BRINDLEX_NAV2_PROTOCOL__SRV__GET_COVERED_POINTS_HPP_
#define BRINDLEX_NAV2_PROTOCOL__SRV__GET_COVERED_POINTS_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace brindlex_nav2_protocol {
namespace srv {

struct GetCoveredPoints_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(GetCoveredPoints_Request)

  bool enable = false;

  bool operator==(const GetCoveredPoints_Request & other) const { return enable == other.enable; }
  bool operator!=(const GetCoveredPoints_Request & other) const { return !(*this == other); }
};

struct GetCoveredPoints_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(GetCoveredPoints_Response)

  std::vector<geometry_msgs::msg::PoseStamped> poses;

  bool operator==(const GetCoveredPoints_Response & other) const { return poses == other.poses; }
  bool operator!=(const GetCoveredPoints_Response & other) const { return !(*this == other); }
};

struct GetCoveredPoints
{
  using Request = GetCoveredPoints_Request;
  using Response = GetCoveredPoints_Response;
};

}  // namespace srv
}  // namespace brindlex_nav2_protocol

ROSIDL_STANDIN_SERVICE_TRAITS(
    brindlex_nav2_protocol::srv::GetCoveredPoints, "brindlex_nav2_protocol/srv/GetCoveredPoints")

#endif  // BRINDLEX_NAV2_PROTOCOL__SRV__GET_COVERED_POINTS_HPP_
