#ifndef NAV2_MSGS__SRV__CLEAR_COSTMAP_EXCEPT_REGION_HPP_
#define NAV2_MSGS__SRV__CLEAR_COSTMAP_EXCEPT_REGION_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/empty.hpp"

namespace nav2_msgs {
namespace srv {

struct ClearCostmapExceptRegion_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearCostmapExceptRegion_Request)

  float reset_distance = 0.0f;

  bool operator==(const ClearCostmapExceptRegion_Request & other) const
  {
    return reset_distance == other.reset_distance;
  }
  bool operator!=(const ClearCostmapExceptRegion_Request & other) const
  {
    return !(*this == other);
  }
};

struct ClearCostmapExceptRegion_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearCostmapExceptRegion_Response)

  std_msgs::msg::Empty response;

  bool operator==(const ClearCostmapExceptRegion_Response & other) const
  {
    return response == other.response;
  }
  bool operator!=(const ClearCostmapExceptRegion_Response & other) const
  {
    return !(*this == other);
  }
};

struct ClearCostmapExceptRegion
{
  using Request = ClearCostmapExceptRegion_Request;
  using Response = ClearCostmapExceptRegion_Response;
};

}  // namespace srv
}  // namespace nav2_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(
    nav2_msgs::srv::ClearCostmapExceptRegion, "nav2_msgs/srv/ClearCostmapExceptRegion")

#endif  // NAV2_MSGS__SRV__CLEAR_COSTMAP_EXCEPT_REGION_HPP_
