#ifndef GEOMETRY_MSGS__MSG__POLYGON_STAMPED_HPP_
#define GEOMETRY_MSGS__MSG__POLYGON_STAMPED_HPP_

#include <memory>

#include "geometry_msgs/msg/polygon.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace geometry_msgs {
namespace msg {

struct PolygonStamped
{
  ROSIDL_STANDIN_POINTER_ALIASES(PolygonStamped)

  std_msgs::msg::Header header;
  geometry_msgs::msg::Polygon polygon;

  bool operator==(const PolygonStamped & other) const
  {
    return header == other.header && polygon == other.polygon;
  }
  bool operator!=(const PolygonStamped & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    geometry_msgs::msg::PolygonStamped, "geometry_msgs/msg/PolygonStamped")

#endif  // GEOMETRY_MSGS__MSG__POLYGON_STAMPED_HPP_
