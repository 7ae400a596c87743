#ifndef SENSOR_MSGS__MSG__COMPRESSED_IMAGE_HPP_
#define SENSOR_MSGS__MSG__COMPRESSED_IMAGE_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"
#include "std_msgs/msg/header.hpp"

namespace sensor_msgs {
namespace msg {

struct CompressedImage
{
  ROSIDL_STANDIN_POINTER_ALIASES(CompressedImage)

  std_msgs::msg::Header header;
  std::string format;
  std::vector<uint8_t> data;

  bool operator==(const CompressedImage & other) const
  {
    return header == other.header && format == other.format && data == other.data;
  }
  bool operator!=(const CompressedImage & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace sensor_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(sensor_msgs::msg::CompressedImage, "sensor_msgs/msg/CompressedImage")

#endif  // SENSOR_MSGS__MSG__COMPRESSED_IMAGE_HPP_
