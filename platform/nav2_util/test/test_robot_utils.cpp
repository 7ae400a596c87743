// Robot pose look-ups through a tf2_ros::Buffer.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "nav2_util/robot_utils.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/buffer.h"

namespace {

class RobotUtilsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    clock_ = std::make_shared<rclcpp::Clock>(RCL_SYSTEM_TIME);
    buffer_ = std::make_unique<tf2_ros::Buffer>(clock_);
  }

  void addTransform(
      const std::string & parent, const std::string & child, double x, double y, int32_t sec)
  {
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = parent;
    t.header.stamp.sec = sec;
    t.child_frame_id = child;
    t.transform.translation.x = x;
    t.transform.translation.y = y;
    // 90 degrees about z.
    t.transform.rotation.z = std::sqrt(0.5);
    t.transform.rotation.w = std::sqrt(0.5);
    buffer_->setTransform(t, "test", false);
  }

  rclcpp::Clock::SharedPtr clock_;
  std::unique_ptr<tf2_ros::Buffer> buffer_;
};

TEST_F(RobotUtilsTest, CurrentPoseIsTheRobotOriginInTheGlobalFrame)
{
  addTransform("map", "base_link", 2.0, -1.0, 10);
  geometry_msgs::msg::PoseStamped pose;
  ASSERT_TRUE(nav2_util::getCurrentPose(pose, *buffer_, "map", "base_link", 0.0));
  EXPECT_EQ(pose.header.frame_id, "map");
  EXPECT_EQ(pose.header.stamp.sec, 10);
  EXPECT_DOUBLE_EQ(pose.pose.position.x, 2.0);
  EXPECT_DOUBLE_EQ(pose.pose.position.y, -1.0);
  EXPECT_NEAR(pose.pose.orientation.z, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(pose.pose.orientation.w, std::sqrt(0.5), 1e-12);
}

TEST_F(RobotUtilsTest, TransformsAPoseIntoTheTargetFrame)
{
  addTransform("map", "odom", 1.0, 0.0, 5);
  geometry_msgs::msg::PoseStamped in;
  in.header.frame_id = "odom";
  in.pose.position.x = 1.0;
  in.pose.orientation.w = 1.0;
  geometry_msgs::msg::PoseStamped out;
  ASSERT_TRUE(nav2_util::transformPoseInTargetFrame(in, out, *buffer_, "map", 0.0));
  EXPECT_EQ(out.header.frame_id, "map");
  // Rotated by 90 degrees, then shifted by (1, 0).
  EXPECT_NEAR(out.pose.position.x, 1.0, 1e-12);
  EXPECT_NEAR(out.pose.position.y, 1.0, 1e-12);
}

TEST_F(RobotUtilsTest, UnknownFramesGiveFalse)
{
  addTransform("map", "odom", 1.0, 0.0, 5);
  geometry_msgs::msg::PoseStamped pose;
  EXPECT_FALSE(nav2_util::getCurrentPose(pose, *buffer_, "map", "base_link", 0.0));
  addTransform("world", "base_link", 1.0, 0.0, 5);
  // Two trees that do not connect.
  EXPECT_FALSE(nav2_util::getCurrentPose(pose, *buffer_, "map", "base_link", 0.0));
}

}  // namespace
