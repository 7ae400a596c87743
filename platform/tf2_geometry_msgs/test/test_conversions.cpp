#include <gtest/gtest.h>

#include <cmath>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"
#include "tf2/convert.h"
#include "tf2/utils.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

namespace {

constexpr double kEps = 1e-9;

// map <- base_link: quarter turn about z, then (1, 2, 0).
geometry_msgs::msg::TransformStamped quarterTurn()
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = "map";
  t.header.stamp.sec = 7;
  t.header.stamp.nanosec = 500;
  t.child_frame_id = "base_link";
  t.transform.translation.x = 1.0;
  t.transform.translation.y = 2.0;
  tf2::Quaternion q;
  q.setRPY(0, 0, M_PI / 2);
  t.transform.rotation = tf2::toMsg(q);
  return t;
}

}  // namespace

TEST(DoTransform, PoseStampedTakesTheTransformsHeader)
{
  geometry_msgs::msg::PoseStamped in;
  in.header.frame_id = "base_link";
  in.header.stamp.sec = 3;
  in.pose.position.x = 1.0;
  tf2::Quaternion yaw;
  yaw.setRPY(0, 0, 0.25);
  in.pose.orientation = tf2::toMsg(yaw);

  geometry_msgs::msg::PoseStamped out;
  tf2::doTransform(in, out, quarterTurn());
  EXPECT_NEAR(1.0, out.pose.position.x, kEps);
  EXPECT_NEAR(3.0, out.pose.position.y, kEps);
  EXPECT_NEAR(M_PI / 2 + 0.25, tf2::getYaw(out.pose.orientation), kEps);
  EXPECT_EQ("map", out.header.frame_id);
  EXPECT_EQ(7, out.header.stamp.sec);
  EXPECT_EQ(500u, out.header.stamp.nanosec);
}

TEST(DoTransform, PointIsMovedVectorOnlyRotated)
{
  geometry_msgs::msg::Point p;
  p.x = 1.0;
  geometry_msgs::msg::Point p_out;
  tf2::doTransform(p, p_out, quarterTurn());
  EXPECT_NEAR(1.0, p_out.x, kEps);
  EXPECT_NEAR(3.0, p_out.y, kEps);

  geometry_msgs::msg::Vector3 v;
  v.x = 1.0;
  geometry_msgs::msg::Vector3 v_out;
  tf2::doTransform(v, v_out, quarterTurn());
  EXPECT_NEAR(0.0, v_out.x, kEps);
  EXPECT_NEAR(1.0, v_out.y, kEps);
}

TEST(DoTransform, TransformStampedComposesAndKeepsTheChild)
{
  geometry_msgs::msg::TransformStamped laser;
  laser.header.frame_id = "base_link";
  laser.child_frame_id = "laser";
  laser.transform.translation.x = 0.5;
  laser.transform.rotation.w = 1.0;
  geometry_msgs::msg::TransformStamped out;
  tf2::doTransform(laser, out, quarterTurn());
  EXPECT_EQ("map", out.header.frame_id);
  EXPECT_EQ("laser", out.child_frame_id);
  EXPECT_NEAR(1.0, out.transform.translation.x, kEps);
  EXPECT_NEAR(2.5, out.transform.translation.y, kEps);
}

TEST(Conversions, RoundTripsAndTimestamps)
{
  const auto msg = quarterTurn();
  tf2::Transform t;
  tf2::convert(msg.transform, t);
  EXPECT_NEAR(1.0, t.getOrigin().x(), kEps);
  EXPECT_NEAR(M_PI / 2, tf2::getYaw(t.getRotation()), kEps);
  const geometry_msgs::msg::Transform back = tf2::toMsg(t);
  EXPECT_NEAR(msg.transform.rotation.z, back.rotation.z, kEps);
  EXPECT_NEAR(msg.transform.rotation.w, back.rotation.w, kEps);

  geometry_msgs::msg::Pose pose;
  tf2::toMsg(t, pose);
  EXPECT_NEAR(2.0, pose.position.y, kEps);

  tf2::Stamped<tf2::Transform> stamped;
  tf2::fromMsg(msg, stamped);
  EXPECT_EQ("map", stamped.frame_id_);
  EXPECT_EQ(tf2::TimePoint(std::chrono::nanoseconds(7000000500LL)), stamped.stamp_);

  geometry_msgs::msg::PoseStamped ps;
  ps.header.stamp.sec = 12;
  ps.header.stamp.nanosec = 250000000;
  ps.header.frame_id = "odom";
  EXPECT_DOUBLE_EQ(12.25, tf2::timeToSec(tf2::getTimestamp(ps)));
  EXPECT_EQ("odom", tf2::getFrameId(ps));
}
