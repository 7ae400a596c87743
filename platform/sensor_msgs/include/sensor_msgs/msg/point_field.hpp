#ifndef SENSOR_MSGS__MSG__POINT_FIELD_HPP_
#define SENSOR_MSGS__MSG__POINT_FIELD_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rosidl_runtime_cpp/traits.hpp"

namespace sensor_msgs {
namespace msg {

struct PointField
{
  ROSIDL_STANDIN_POINTER_ALIASES(PointField)

  static constexpr uint8_t INT8 = 1u;
  static constexpr uint8_t UINT8 = 2u;
  static constexpr uint8_t INT16 = 3u;
  static constexpr uint8_t UINT16 = 4u;
  static constexpr uint8_t INT32 = 5u;
  static constexpr uint8_t UINT32 = 6u;
  static constexpr uint8_t FLOAT32 = 7u;
  static constexpr uint8_t FLOAT64 = 8u;

  std::string name;
  uint32_t offset = 0;
  uint8_t datatype = 0;
  uint32_t count = 0;

  bool operator==(const PointField & other) const
  {
    return name == other.name && offset == other.offset && datatype == other.datatype &&
           count == other.count;
  }
  bool operator!=(const PointField & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace sensor_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(sensor_msgs::msg::PointField, "sensor_msgs/msg/PointField")

#endif  // SENSOR_MSGS__MSG__POINT_FIELD_HPP_
