#ifndef GEOMETRY_MSGS__MSG__POINT_HPP_
#define GEOMETRY_MSGS__MSG__POINT_HPP_

#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace geometry_msgs {
namespace msg {

struct Point
{
  ROSIDL_STANDIN_POINTER_ALIASES(Point)

  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  bool operator==(const Point & other) const
  {
    return x == other.x && y == other.y && z == other.z;
  }
  bool operator!=(const Point & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace geometry_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(geometry_msgs::msg::Point, "geometry_msgs/msg/Point")

#endif  // GEOMETRY_MSGS__MSG__POINT_HPP_
