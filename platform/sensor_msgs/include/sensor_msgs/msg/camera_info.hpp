#ifndef SENSOR_MSGS__MSG__CAMERA_INFO_HPP_
#define SENSOR_MSGS__MSG__CAMERA_INFO_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"
#include "sensor_msgs/msg/region_of_interest.hpp"
#include "std_msgs/msg/header.hpp"

namespace sensor_msgs {
namespace msg {

struct CameraInfo
{
  ROSIDL_STANDIN_POINTER_ALIASES(CameraInfo)

  std_msgs::msg::Header header;
  uint32_t height = 0;
  uint32_t width = 0;
  std::string distortion_model;
  std::vector<double> d;
  std::array<double, 9> k{};
  std::array<double, 9> r{};
  std::array<double, 12> p{};
  uint32_t binning_x = 0;
  uint32_t binning_y = 0;
  sensor_msgs::msg::RegionOfInterest roi;

  bool operator==(const CameraInfo & other) const
  {
    return header == other.header && height == other.height && width == other.width &&
           distortion_model == other.distortion_model && d == other.d && k == other.k &&
           r == other.r && p == other.p && binning_x == other.binning_x &&
           binning_y == other.binning_y && roi == other.roi;
  }
  bool operator!=(const CameraInfo & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace sensor_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(sensor_msgs::msg::CameraInfo, "sensor_msgs/msg/CameraInfo")

#endif  // SENSOR_MSGS__MSG__CAMERA_INFO_HPP_
