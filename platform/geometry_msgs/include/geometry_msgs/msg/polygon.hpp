#ifndef GEOMETRY_MSGS__MSG__POLYGON_HPP_
#define GEOMETRY_MSGS__MSG__POLYGON_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/point32.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Polygon
{
  ROSIDL_STANDIN_POINTER_ALIASES(Polygon)

  std::vector<geometry_msgs::msg::Point32> points;

  bool operator==(const Polygon & other) const { return points == other.points; }
  bool operator!=(const Polygon & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Polygon, "geometry_msgs/msg/Polygon")

#endif  // GEOMETRY_MSGS__MSG__POLYGON_HPP_
