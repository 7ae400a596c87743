#include <gtest/gtest.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <Eigen/Core>
#include <cmath>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "pcl_ros/transforms.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"

namespace {

tf2::Transform makeTransform()
{
  tf2::Quaternion q;
  q.setRPY(0.3, -0.2, 1.1);
  return tf2::Transform(q, tf2::Vector3(1.5, -2.0, 0.25));
}

}  // namespace

TEST(TransformAsMatrix, MatchesTheTransformOnPoints)
{
  const tf2::Transform t = makeTransform();
  Eigen::Matrix4f m;
  m.setConstant(42.0f);
  pcl_ros::transformAsMatrix(t, m);

  EXPECT_FLOAT_EQ(0.0f, m(3, 0));
  EXPECT_FLOAT_EQ(0.0f, m(3, 1));
  EXPECT_FLOAT_EQ(0.0f, m(3, 2));
  EXPECT_FLOAT_EQ(1.0f, m(3, 3));
  EXPECT_FLOAT_EQ(1.5f, m(0, 3));
  EXPECT_FLOAT_EQ(-2.0f, m(1, 3));
  EXPECT_FLOAT_EQ(0.25f, m(2, 3));

  const tf2::Vector3 points[] = {
      tf2::Vector3(0, 0, 0),
      tf2::Vector3(1, 0, 0),
      tf2::Vector3(0, 1, 0),
      tf2::Vector3(0.3, -4.0, 2.5)};
  for (const auto & p : points) {
    const tf2::Vector3 expected = t * p;
    const Eigen::Vector4f actual =
        m *
        Eigen::Vector4f(
            static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z()), 1.0f);
    EXPECT_NEAR(expected.x(), actual.x(), 1e-5);
    EXPECT_NEAR(expected.y(), actual.y(), 1e-5);
    EXPECT_NEAR(expected.z(), actual.z(), 1e-5);
  }
}

TEST(TransformAsMatrix, RotationBlockIsTheBasisNotItsTranspose)
{
  tf2::Quaternion q;
  q.setRPY(0, 0, M_PI / 2);
  Eigen::Matrix4f m;
  pcl_ros::transformAsMatrix(tf2::Transform(q), m);
  // x maps to y: column 0 is (0, 1, 0).
  EXPECT_NEAR(0.0, m(0, 0), 1e-6);
  EXPECT_NEAR(1.0, m(1, 0), 1e-6);
  EXPECT_NEAR(-1.0, m(0, 1), 1e-6);
}

TEST(TransformAsMatrix, StampedOverloadUsesTheTransformOnly)
{
  const tf2::Transform t = makeTransform();
  geometry_msgs::msg::TransformStamped stamped;
  stamped.header.frame_id = "map";
  stamped.child_frame_id = "camera";
  stamped.transform.translation.x = t.getOrigin().x();
  stamped.transform.translation.y = t.getOrigin().y();
  stamped.transform.translation.z = t.getOrigin().z();
  const tf2::Quaternion q = t.getRotation();
  stamped.transform.rotation.x = q.x();
  stamped.transform.rotation.y = q.y();
  stamped.transform.rotation.z = q.z();
  stamped.transform.rotation.w = q.w();

  Eigen::Matrix4f from_stamped;
  Eigen::Matrix4f from_transform;
  pcl_ros::transformAsMatrix(stamped, from_stamped);
  pcl_ros::transformAsMatrix(t, from_transform);
  EXPECT_TRUE(from_stamped.isApprox(from_transform, 1e-6f));
}

TEST(TransformPointCloud, MovesEveryPoint)
{
  const tf2::Transform t = makeTransform();
  pcl::PointCloud<pcl::PointXYZ> in;
  in.push_back(pcl::PointXYZ(0, 0, 0));
  in.push_back(pcl::PointXYZ(1, 2, 3));
  pcl::PointCloud<pcl::PointXYZ> out;
  pcl_ros::transformPointCloud(in, out, t);
  ASSERT_EQ(2u, out.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const tf2::Vector3 expected = t * tf2::Vector3(in[i].x, in[i].y, in[i].z);
    EXPECT_NEAR(expected.x(), out[i].x, 1e-5);
    EXPECT_NEAR(expected.y(), out[i].y, 1e-5);
    EXPECT_NEAR(expected.z(), out[i].z, 1e-5);
  }
}
