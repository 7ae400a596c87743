#ifndef NAV2_MSGS__SRV__CLEAR_COSTMAP_AROUND_ROBOT_HPP_
#define NAV2_MSGS__SRV__CLEAR_COSTMAP_AROUND_ROBOT_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/empty.hpp"

namespace nav2_msgs {
namespace srv {

struct ClearCostmapAroundRobot_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearCostmapAroundRobot_Request)

  float reset_distance = 0.0f;

  bool operator==(const ClearCostmapAroundRobot_Request & other) const
  {
    return reset_distance == other.reset_distance;
  }
  bool operator!=(const ClearCostmapAroundRobot_Request & other) const { return !(*this == other); }
};

struct ClearCostmapAroundRobot_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearCostmapAroundRobot_Response)

  std_msgs::msg::Empty response;

  bool operator==(const ClearCostmapAroundRobot_Response & other) const
  {
    return response == other.response;
  }
  bool operator!=(const ClearCostmapAroundRobot_Response & other) const
  {
    return !(*this == other);
  }
};

struct ClearCostmapAroundRobot
{
  using Request = ClearCostmapAroundRobot_Request;
  using Response = ClearCostmapAroundRobot_Response;
};

}  // namespace srv
}  // namespace nav2_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(
    nav2_msgs::srv::ClearCostmapAroundRobot, "nav2_msgs/srv/ClearCostmapAroundRobot")

#endif  // NAV2_MSGS__SRV__CLEAR_COSTMAP_AROUND_ROBOT_HPP_
