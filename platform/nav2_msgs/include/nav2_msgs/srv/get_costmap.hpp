#ifndef NAV2_MSGS__SRV__GET_COSTMAP_HPP_
#define NAV2_MSGS__SRV__GET_COSTMAP_HPP_

#include <memory>

#include "nav2_msgs/msg/costmap.hpp"
#include "nav2_msgs/msg/costmap_meta_data.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace nav2_msgs {
namespace srv {

struct GetCostmap_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(GetCostmap_Request)

  nav2_msgs::msg::CostmapMetaData specs;

  bool operator==(const GetCostmap_Request & other) const { return specs == other.specs; }
  bool operator!=(const GetCostmap_Request & other) const { return !(*this == other); }
};

struct GetCostmap_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(GetCostmap_Response)

  nav2_msgs::msg::Costmap map;

  bool operator==(const GetCostmap_Response & other) const { return map == other.map; }
  bool operator!=(const GetCostmap_Response & other) const { return !(*this == other); }
};

struct GetCostmap
{
  using Request = GetCostmap_Request;
  using Response = GetCostmap_Response;
};

}  // namespace srv
}  // namespace nav2_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(nav2_msgs::srv::GetCostmap, "nav2_msgs/srv/GetCostmap")

#endif  // NAV2_MSGS__SRV__GET_COSTMAP_HPP_
