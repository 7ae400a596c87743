#ifndef TF2_ROS__VISIBILITY_CONTROL_H_
#define TF2_ROS__VISIBILITY_CONTROL_H_

// The library is built with default visibility; the macros exist so that code written against
// the real headers compiles.
#define TF2_ROS_EXPORT __attribute__((visibility("default")))
#define TF2_ROS_IMPORT
#define TF2_ROS_PUBLIC __attribute__((visibility("default")))
#define TF2_ROS_LOCAL __attribute__((visibility("hidden")))
#define TF2_ROS_PUBLIC_TYPE

#endif  // TF2_ROS__VISIBILITY_CONTROL_H_
