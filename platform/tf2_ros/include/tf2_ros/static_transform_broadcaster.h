// Publishes transforms that never change on "/tf_static" (latched).
#ifndef TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_
#define TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/qos.hpp"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// Keeps every transform sent (one per child frame, the latest wins) and republishes them all
/// in one TFMessage on each call, so that late subscribers get the whole set.
class StaticTransformBroadcaster
{
public:
  template <class NodeT, class AllocatorT = std::allocator<void>>
  StaticTransformBroadcaster(
      NodeT && node,
      const rclcpp::QoS & qos = StaticBroadcasterQoS(),
      const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
          rclcpp::PublisherOptionsWithAllocator<AllocatorT>())
  {
    publisher_ =
        rclcpp::create_publisher<tf2_msgs::msg::TFMessage>(node, "/tf_static", qos, options);
  }

  TF2_ROS_PUBLIC
  void sendTransform(const geometry_msgs::msg::TransformStamped & transform);

  TF2_ROS_PUBLIC
  void sendTransform(const std::vector<geometry_msgs::msg::TransformStamped> & transforms);

private:
  rclcpp::Publisher<tf2_msgs::msg::TFMessage>::SharedPtr publisher_;
  tf2_msgs::msg::TFMessage net_message_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_
