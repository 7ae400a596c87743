// Conversions between tf2 and ROS time types, and the interface of buffers with waiting lookups.
#ifndef TF2_ROS__BUFFER_INTERFACE_H_
#define TF2_ROS__BUFFER_INTERFACE_H_

#include <chrono>
#include <cstdint>
#include <string>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/time.hpp"
#include "tf2/convert.h"
#include "tf2/exceptions.h"
#include "tf2/time.h"
#include "tf2/transform_datatypes.h"
#include "tf2_ros/visibility_control.h"

namespace tf2_ros {

/// Message stamp to a tf2 time point.
inline tf2::TimePoint fromMsg(const builtin_interfaces::msg::Time & time_msg)
{
  int64_t d = time_msg.sec * 1000000000ull + time_msg.nanosec;
  std::chrono::nanoseconds ns(d);
  return tf2::TimePoint(std::chrono::duration_cast<tf2::Duration>(ns));
}

inline builtin_interfaces::msg::Time toMsg(const tf2::TimePoint & t)
{
  std::chrono::nanoseconds ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch());
  std::chrono::seconds s = std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch());
  builtin_interfaces::msg::Time time_msg;
  time_msg.sec = static_cast<int32_t>(s.count());
  time_msg.nanosec = static_cast<uint32_t>(ns.count() % 1000000000ull);
  return time_msg;
}

inline tf2::Duration fromMsg(const builtin_interfaces::msg::Duration & duration_msg)
{
  int64_t d = duration_msg.sec * 1000000000ull + duration_msg.nanosec;
  std::chrono::nanoseconds ns(d);
  return tf2::Duration(std::chrono::duration_cast<tf2::Duration>(ns));
}

inline builtin_interfaces::msg::Duration toMsg(const tf2::Duration & t)
{
  std::chrono::nanoseconds ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t);
  std::chrono::seconds s = std::chrono::duration_cast<std::chrono::seconds>(t);
  builtin_interfaces::msg::Duration duration_msg;
  duration_msg.sec = static_cast<int32_t>(s.count());
  duration_msg.nanosec = static_cast<uint32_t>(ns.count() % 1000000000ull);
  return duration_msg;
}

inline double timeToSec(const builtin_interfaces::msg::Time & time_msg)
{
  auto ns = std::chrono::duration<double, std::nano>(time_msg.nanosec);
  auto s = std::chrono::duration<double>(time_msg.sec);
  return (s + std::chrono::duration_cast<std::chrono::duration<double>>(ns)).count();
}

inline tf2::TimePoint fromRclcpp(const rclcpp::Time & time)
{
  return tf2::TimePoint(std::chrono::nanoseconds(time.nanoseconds()));
}

/// The result carries the system clock type.
inline rclcpp::Time toRclcpp(const tf2::TimePoint & time)
{
  return rclcpp::Time(
      std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

inline tf2::Duration fromRclcpp(const rclcpp::Duration & duration)
{
  return tf2::Duration(std::chrono::nanoseconds(duration.nanoseconds()));
}

inline rclcpp::Duration toRclcpp(const tf2::Duration & duration)
{
  return rclcpp::Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration));
}

/// Lookups that may wait for data, and transforms of stamped datatypes.
class BufferInterface
{
public:
  /// As BufferCore::lookupTransform, after waiting up to `timeout` for the data.
  TF2_ROS_PUBLIC
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      const tf2::Duration timeout) const = 0;

  TF2_ROS_PUBLIC
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame,
      const tf2::Duration timeout) const = 0;

  /// Whether the transform is available, waiting up to `timeout` for it.
  TF2_ROS_PUBLIC
  virtual bool canTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      const tf2::Duration timeout,
      std::string * errstr = NULL) const = 0;

  TF2_ROS_PUBLIC
  virtual bool canTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame,
      const tf2::Duration timeout,
      std::string * errstr = NULL) const = 0;

  /// `in` expressed in target_frame, at the stamp of `in`.
  template <class T>
  T & transform(
      const T & in,
      T & out,
      const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    tf2::doTransform(
        in,
        out,
        lookupTransform(target_frame, tf2::getFrameId(in), tf2::getTimestamp(in), timeout));
    return out;
  }

  template <class T>
  T transform(
      const T & in,
      const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    T out;
    return transform(in, out, target_frame, timeout);
  }

  template <class A, class B>
  B & transform(
      const A & in,
      B & out,
      const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    A copy = transform(in, target_frame, timeout);
    tf2::convert(copy, out);
    return out;
  }

  /// `in` expressed in target_frame at target_time, through fixed_frame.
  template <class T>
  T & transform(
      const T & in,
      T & out,
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & fixed_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    tf2::doTransform(
        in,
        out,
        lookupTransform(
            target_frame,
            target_time,
            tf2::getFrameId(in),
            tf2::getTimestamp(in),
            fixed_frame,
            timeout));
    return out;
  }

  template <class T>
  T transform(
      const T & in,
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & fixed_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    T out;
    return transform(in, out, target_frame, target_time, fixed_frame, timeout);
  }

  template <class A, class B>
  B & transform(
      const A & in,
      B & out,
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & fixed_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    A copy = transform(in, target_frame, target_time, fixed_frame, timeout);
    tf2::convert(copy, out);
    return out;
  }

  virtual ~BufferInterface() {}
};

}  // namespace tf2_ros

#endif  // TF2_ROS__BUFFER_INTERFACE_H_
