#ifndef NAV2_MSGS__SRV__CLEAR_ENTIRE_COSTMAP_HPP_
#define NAV2_MSGS__SRV__CLEAR_ENTIRE_COSTMAP_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/empty.hpp"

namespace nav2_msgs {
namespace srv {

struct ClearEntireCostmap_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearEntireCostmap_Request)

  std_msgs::msg::Empty request;

  bool operator==(const ClearEntireCostmap_Request & other) const
  {
    return request == other.request;
  }
  bool operator!=(const ClearEntireCostmap_Request & other) const { return !(*this == other); }
};

struct ClearEntireCostmap_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(ClearEntireCostmap_Response)

  std_msgs::msg::Empty response;

  bool operator==(const ClearEntireCostmap_Response & other) const
  {
    return response == other.response;
  }
  bool operator!=(const ClearEntireCostmap_Response & other) const { return !(*this == other); }
};

struct ClearEntireCostmap
{
  using Request = ClearEntireCostmap_Request;
  using Response = ClearEntireCostmap_Response;
};

}  // namespace srv
}  // namespace nav2_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(
    nav2_msgs::srv::ClearEntireCostmap, "nav2_msgs/srv/ClearEntireCostmap")

#endif  // NAV2_MSGS__SRV__CLEAR_ENTIRE_COSTMAP_HPP_
