#ifndef SENSOR_MSGS__MSG__REGION_OF_INTEREST_HPP_
#define SENSOR_MSGS__MSG__REGION_OF_INTEREST_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace sensor_msgs {
namespace msg {

struct RegionOfInterest
{
  ROSIDL_STANDIN_POINTER_ALIASES(RegionOfInterest)

  uint32_t x_offset = 0;
  uint32_t y_offset = 0;
  uint32_t height = 0;
  uint32_t width = 0;
  bool do_rectify = false;

  bool operator==(const RegionOfInterest & other) const
  {
    return x_offset == other.x_offset && y_offset == other.y_offset && height == other.height &&
           width == other.width && do_rectify == other.do_rectify;
  }
  bool operator!=(const RegionOfInterest & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace sensor_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(
    sensor_msgs::msg::RegionOfInterest, "sensor_msgs/msg/RegionOfInterest")

#endif  // SENSOR_MSGS__MSG__REGION_OF_INTEREST_HPP_
