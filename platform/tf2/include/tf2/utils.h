// Euler angles and yaw of anything convertible to a quaternion.
#ifndef TF2__UTILS_H_
#define TF2__UTILS_H_

#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"
#include "tf2/impl/utils.h"

namespace tf2 {

/// Yaw, pitch and roll (radians) of the rotation held by a.
template <class A>
void getEulerYPR(const A & a, double & yaw, double & pitch, double & roll)
{
  tf2::Quaternion q = impl::toQuaternion(a);
  impl::getEulerYPR(q, yaw, pitch, roll);
}

/// Yaw (radians, in (−π, π]) of the rotation held by a.
template <class A>
double getYaw(const A & a)
{
  tf2::Quaternion q = impl::toQuaternion(a);
  return impl::getYaw(q);
}

/// The identity transform as an A.
template <class A>
A getTransformIdentity()
{
  tf2::Transform t;
  t.setIdentity();
  A a;
  convert(t, a);
  return a;
}

}  // namespace tf2

#endif  // TF2__UTILS_H_
