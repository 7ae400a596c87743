// Point-cloud transforms with tf2 transforms, and tf2 transforms as Eigen matrices.
#ifndef PCL_ROS__TRANSFORMS_HPP_
#define PCL_ROS__TRANSFORMS_HPP_

#include <pcl/common/transforms.h>
#include <pcl/point_cloud.h>

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/LinearMath/Transform.h"
#include "tf2/convert.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

namespace pcl_ros {

/// The transform as a 4x4 homogeneous matrix: rotation block from the basis, translation in the
/// last column, last row 0 0 0 1.
void transformAsMatrix(const tf2::Transform & bt, Eigen::Matrix4f & out_mat);

/// The same for the transform of a TransformStamped (the header is ignored).
void transformAsMatrix(const geometry_msgs::msg::TransformStamped & bt, Eigen::Matrix4f & out_mat);

/// Every point moved by the transform; cloud_out may be cloud_in.
template <typename PointT>
void transformPointCloud(
    const pcl::PointCloud<PointT> & cloud_in,
    pcl::PointCloud<PointT> & cloud_out,
    const tf2::Transform & transform)
{
  // Copied rather than mapped: tf2 works in double, Eigen here in float.
  tf2::Quaternion q = transform.getRotation();
  Eigen::Quaternionf rotation(q.w(), q.x(), q.y(), q.z());
  tf2::Vector3 v = transform.getOrigin();
  Eigen::Vector3f origin(v.x(), v.y(), v.z());
  pcl::transformPointCloud(cloud_in, cloud_out, origin, rotation);
}

template <typename PointT>
void transformPointCloud(
    const pcl::PointCloud<PointT> & cloud_in,
    pcl::PointCloud<PointT> & cloud_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  tf2::Transform t;
  tf2::convert(transform.transform, t);
  transformPointCloud(cloud_in, cloud_out, t);
}

}  // namespace pcl_ros

#endif  // PCL_ROS__TRANSFORMS_HPP_
