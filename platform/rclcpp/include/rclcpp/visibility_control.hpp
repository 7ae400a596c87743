#ifndef RCLCPP__VISIBILITY_CONTROL_HPP_
#define RCLCPP__VISIBILITY_CONTROL_HPP_

// The stand-in builds with default visibility; the macros exist so that code written against the
// real headers compiles unchanged.
#define RCLCPP_EXPORT __attribute__((visibility("default")))
#define RCLCPP_IMPORT
#define RCLCPP_PUBLIC __attribute__((visibility("default")))
#define RCLCPP_LOCAL __attribute__((visibility("hidden")))
#define RCLCPP_PUBLIC_TYPE

#endif  // RCLCPP__VISIBILITY_CONTROL_HPP_
