// Robot pose look-ups through tf2.
#ifndef NAV2_UTIL__ROBOT_UTILS_HPP_
#define NAV2_UTIL__ROBOT_UTILS_HPP_

#include <string>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/buffer.h"

namespace nav2_util {

/**
 * @brief The pose of robot_frame in global_frame at stamp (zero: the latest common time),
 * waiting up to transform_timeout seconds. On failure logs an ERROR on the logger
 * "transformPoseInTargetFrame" and returns false.
 */
bool getCurrentPose(
    geometry_msgs::msg::PoseStamped & global_pose,
    tf2_ros::Buffer & tf_buffer,
    const std::string global_frame = "map",
    const std::string robot_frame = "base_link",
    const double transform_timeout = 0.1,
    const rclcpp::Time stamp = rclcpp::Time());

/**
 * @brief input_pose expressed in target_frame, waiting up to transform_timeout seconds. On
 * failure logs an ERROR on the logger "transformPoseInTargetFrame" and returns false.
 */
bool transformPoseInTargetFrame(
    const geometry_msgs::msg::PoseStamped & input_pose,
    geometry_msgs::msg::PoseStamped & transformed_pose,
    tf2_ros::Buffer & tf_buffer,
    const std::string target_frame,
    const double transform_timeout = 0.1);

}  // namespace nav2_util

#endif  // NAV2_UTIL__ROBOT_UTILS_HPP_
