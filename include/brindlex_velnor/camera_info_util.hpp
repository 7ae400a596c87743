#ifndef BRINDLEX_VELNOR__CAMERA_INFO_UTIL_HPP_
#define BRINDLEX_VELNOR__CAMERA_INFO_UTIL_HPP_

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "rclcpp/qos.hpp"
#include "rclcpp/wait_for_message.hpp"
#include "sensor_msgs/msg/camera_info.hpp"

namespace velnor {
namespace util {

/**
 * @brief Take one CameraInfo message from @p topic.
 *
 * Subscribes on the node (history depth 1, default options and callback group) for the duration
 * of the call, so messages published before it are not seen, and waits for the next one.
 * @param wait_seconds how long to wait; a value that is not a positive finite number means 0.5 s
 * @return true when a message was taken into @p out in time; false for an empty topic (no
 *         subscription is made), on timeout or when the node's context shuts down
 * @throws whatever the node throws for a topic name it rejects
 */
template <typename NodePtrT>
bool get_cam_para(
    NodePtrT node,
    const std::string & topic,
    sensor_msgs::msg::CameraInfo & out,
    double wait_seconds)
{
  if (topic.empty() || !node) {
    return false;
  }
  if (!std::isfinite(wait_seconds) || !(wait_seconds > 0.0)) {
    wait_seconds = 0.5;
  }
  auto subscription = node->template create_subscription<sensor_msgs::msg::CameraInfo>(
      topic, rclcpp::QoS(rclcpp::KeepLast(1)), [](sensor_msgs::msg::CameraInfo::ConstSharedPtr) {});
  const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(wait_seconds));
  return rclcpp::wait_for_message(
      out, subscription, node->get_node_base_interface()->get_context(), wait);
}

}  // namespace util
}  // namespace velnor

#endif  // BRINDLEX_VELNOR__CAMERA_INFO_UTIL_HPP_
