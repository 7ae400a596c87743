#ifndef SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_
#define SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"
#include "sensor_msgs/msg/point_field.hpp"
#include "std_msgs/msg/header.hpp"

namespace sensor_msgs {
namespace msg {

struct PointCloud2
{
  ROSIDL_STANDIN_POINTER_ALIASES(PointCloud2)

  std_msgs::msg::Header header;
  uint32_t height = 0;
  uint32_t width = 0;
  std::vector<sensor_msgs::msg::PointField> fields;
  bool is_bigendian = false;
  uint32_t point_step = 0;
  uint32_t row_step = 0;
  std::vector<uint8_t> data;
  bool is_dense = false;

  bool operator==(const PointCloud2 & other) const
  {
    return header == other.header && height == other.height && width == other.width &&
           fields == other.fields && is_bigendian == other.is_bigendian &&
           point_step == other.point_step && row_step == other.row_step && data == other.data &&
           is_dense == other.is_dense;
  }
  bool operator!=(const PointCloud2 & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace sensor_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(sensor_msgs::msg::PointCloud2, "sensor_msgs/msg/PointCloud2")

#endif  // SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_
