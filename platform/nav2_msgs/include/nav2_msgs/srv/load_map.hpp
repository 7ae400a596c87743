#ifndef NAV2_MSGS__SRV__LOAD_MAP_HPP_
#define NAV2_MSGS__SRV__LOAD_MAP_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace nav2_msgs {
namespace srv {

struct LoadMap_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(LoadMap_Request)

  std::string map_url;

  bool operator==(const LoadMap_Request & other) const { return map_url == other.map_url; }
  bool operator!=(const LoadMap_Request & other) const { return !(*this == other); }
};

struct LoadMap_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(LoadMap_Response)

  static constexpr uint8_t RESULT_SUCCESS = 0u;
  static constexpr uint8_t RESULT_MAP_DOES_NOT_EXIST = 1u;
  static constexpr uint8_t RESULT_INVALID_MAP_DATA = 2u;
  static constexpr uint8_t RESULT_INVALID_MAP_METADATA = 3u;
  static constexpr uint8_t RESULT_UNDEFINED_FAILURE = 255u;

  nav_msgs::msg::OccupancyGrid map;
  uint8_t result = 0;

  bool operator==(const LoadMap_Response & other) const
  {
    return map == other.map && result == other.result;
  }
  bool operator!=(const LoadMap_Response & other) const { return !(*this == other); }
};

struct LoadMap
{
  using Request = LoadMap_Request;
  using Response = LoadMap_Response;
};

}  // namespace srv
}  // namespace nav2_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(nav2_msgs::srv::LoadMap, "nav2_msgs/srv/LoadMap")

#endif  // NAV2_MSGS__SRV__LOAD_MAP_HPP_
