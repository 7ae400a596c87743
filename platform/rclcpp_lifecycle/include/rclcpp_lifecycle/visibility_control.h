#ifndef RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_
#define RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_

#define RCLCPP_LIFECYCLE_EXPORT __attribute__((visibility("default")))
#define RCLCPP_LIFECYCLE_IMPORT
#define RCLCPP_LIFECYCLE_PUBLIC __attribute__((visibility("default")))
#define RCLCPP_LIFECYCLE_LOCAL __attribute__((visibility("hidden")))
#define RCLCPP_LIFECYCLE_PUBLIC_TYPE

#endif  // RCLCPP_LIFECYCLE__VISIBILITY_CONTROL_H_
