// The QoS profiles of the TF topics.
#ifndef TF2_ROS__QOS_HPP_
#define TF2_ROS__QOS_HPP_

#include <cstddef>

#include "rclcpp/qos.hpp"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// "/tf" subscriptions: keep last 100.
class TF2_ROS_PUBLIC DynamicListenerQoS : public rclcpp::QoS
{
public:
  explicit DynamicListenerQoS(size_t depth = 100) : rclcpp::QoS(depth) {}
};

/// "/tf" publishers: keep last 100.
class TF2_ROS_PUBLIC DynamicBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit DynamicBroadcasterQoS(size_t depth = 100) : rclcpp::QoS(depth) {}
};

/// "/tf_static" subscriptions: keep last 100, transient local.
class TF2_ROS_PUBLIC StaticListenerQoS : public rclcpp::QoS
{
public:
  explicit StaticListenerQoS(size_t depth = 100) : rclcpp::QoS(depth) { transient_local(); }
};

/// "/tf_static" publishers: keep last 1, transient local.
class TF2_ROS_PUBLIC StaticBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit StaticBroadcasterQoS(size_t depth = 1) : rclcpp::QoS(depth) { transient_local(); }
};

}  // namespace tf2_ros

#endif  // TF2_ROS__QOS_HPP_
