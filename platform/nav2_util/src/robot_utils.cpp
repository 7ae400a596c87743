#include "nav2_util/robot_utils.hpp"

#include <string>

#include "tf2/exceptions.h"
#include "tf2/time.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

namespace nav2_util {

bool getCurrentPose(
    geometry_msgs::msg::PoseStamped & global_pose,
    tf2_ros::Buffer & tf_buffer,
    const std::string global_frame,
    const std::string robot_frame,
    const double transform_timeout,
    const rclcpp::Time stamp)
{
  global_pose.pose.position.x = 0.0;
  global_pose.pose.position.y = 0.0;
  global_pose.pose.position.z = 0.0;
  global_pose.pose.orientation.x = 0.0;
  global_pose.pose.orientation.y = 0.0;
  global_pose.pose.orientation.z = 0.0;
  global_pose.pose.orientation.w = 1.0;
  global_pose.header.frame_id = robot_frame;
  global_pose.header.stamp = stamp;

  return transformPoseInTargetFrame(
      global_pose, global_pose, tf_buffer, global_frame, transform_timeout);
}

bool transformPoseInTargetFrame(
    const geometry_msgs::msg::PoseStamped & input_pose,
    geometry_msgs::msg::PoseStamped & transformed_pose,
    tf2_ros::Buffer & tf_buffer,
    const std::string target_frame,
    const double transform_timeout)
{
  static rclcpp::Logger logger = rclcpp::get_logger("transformPoseInTargetFrame");

  try {
    transformed_pose =
        tf_buffer.transform(input_pose, target_frame, tf2::durationFromSec(transform_timeout));
    return true;
  } catch (tf2::LookupException & ex) {
    RCLCPP_ERROR(logger, "No Transform available Error looking up target frame: %s\n", ex.what());
  } catch (tf2::ConnectivityException & ex) {
    RCLCPP_ERROR(logger, "Connectivity Error looking up target frame: %s\n", ex.what());
  } catch (tf2::ExtrapolationException & ex) {
    RCLCPP_ERROR(logger, "Extrapolation Error looking up target frame: %s\n", ex.what());
  } catch (tf2::TimeoutException & ex) {
    RCLCPP_ERROR(logger, "Transform timeout with tolerance: %.4f", transform_timeout);
  } catch (tf2::TransformException & ex) {
    RCLCPP_ERROR(
        logger,
        "Failed to transform from %s to %s",
        input_pose.header.frame_id.c_str(),
        target_frame.c_str());
  }
  return false;
}

}  // namespace nav2_util
