#ifndef TF2__IMPL__UTILS_H_
#define TF2__IMPL__UTILS_H_

#include <cmath>

#include "geometry_msgs/msg/quaternion.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/convert.h"
#include "tf2/transform_datatypes.h"

namespace tf2 {

// Defined by tf2_geometry_msgs.
void fromMsg(const geometry_msgs::msg::Quaternion & in, tf2::Quaternion & out);

namespace impl {

inline tf2::Quaternion toQuaternion(const tf2::Quaternion & q) { return q; }

inline tf2::Quaternion toQuaternion(const geometry_msgs::msg::Quaternion & q)
{
  tf2::Quaternion res;
  fromMsg(q, res);
  return res;
}

template <typename T>
tf2::Quaternion toQuaternion(const tf2::Stamped<T> & t)
{
  return toQuaternion(static_cast<const T &>(t));
}

/// Any type with a toMsg() to geometry_msgs::msg::Quaternion.
template <typename T>
tf2::Quaternion toQuaternion(const T & t)
{
  geometry_msgs::msg::Quaternion q = toMsg(t);
  return toQuaternion(q);
}

/// Yaw, pitch and roll of q (normalised on the fly). Near pitch ±π/2 roll is set to 0 and the
/// yaw comes from ±2·atan2(y, x).
inline void getEulerYPR(const tf2::Quaternion & q, double & yaw, double & pitch, double & roll)
{
  const double pi_2 = 1.57079632679489661923;
  const double sqx = q.x() * q.x();
  const double sqy = q.y() * q.y();
  const double sqz = q.z() * q.z();
  const double sqw = q.w() * q.w();

  const double sarg = -2 * (q.x() * q.z() - q.w() * q.y()) / (sqx + sqy + sqz + sqw);
  if (sarg <= -0.99999) {
    pitch = -0.5 * pi_2;
    roll = 0;
    yaw = -2 * std::atan2(q.y(), q.x());
  } else if (sarg >= 0.99999) {
    pitch = 0.5 * pi_2;
    roll = 0;
    yaw = 2 * std::atan2(q.y(), q.x());
  } else {
    pitch = std::asin(sarg);
    roll = std::atan2(2 * (q.y() * q.z() + q.w() * q.x()), sqw - sqx - sqy + sqz);
    yaw = std::atan2(2 * (q.x() * q.y() + q.w() * q.z()), sqw + sqx - sqy - sqz);
  }
}

/// The yaw part of getEulerYPR only.
inline double getYaw(const tf2::Quaternion & q)
{
  const double sqx = q.x() * q.x();
  const double sqy = q.y() * q.y();
  const double sqz = q.z() * q.z();
  const double sqw = q.w() * q.w();

  const double sarg = -2 * (q.x() * q.z() - q.w() * q.y()) / (sqx + sqy + sqz + sqw);
  if (sarg <= -0.99999) {
    return -2 * std::atan2(q.y(), q.x());
  } else if (sarg >= 0.99999) {
    return 2 * std::atan2(q.y(), q.x());
  }
  return std::atan2(2 * (q.x() * q.y() + q.w() * q.z()), sqw + sqx - sqy - sqz);
}

}  // namespace impl
}  // namespace tf2

#endif  // TF2__IMPL__UTILS_H_
