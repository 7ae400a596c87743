// Rotation quaternion of the tf2 linear-math subset (Bullet style).
#ifndef TF2__LINEARMATH__QUATERNION_H_
#define TF2__LINEARMATH__QUATERNION_H_

#include "tf2/LinearMath/QuadWord.h"
#include "tf2/LinearMath/Vector3.h"

namespace tf2 {

/// A quaternion (x, y, z, w) representing a rotation. The default constructor gives all zeros,
/// which is not a rotation: set a value before use.
class Quaternion : public QuadWord
{
public:
  Quaternion() {}

  Quaternion(const tf2Scalar & x, const tf2Scalar & y, const tf2Scalar & z, const tf2Scalar & w)
      : QuadWord(x, y, z, w)
  {
  }

  /// Rotation of `angle` radians about `axis` (need not be normalised).
  Quaternion(const Vector3 & axis, const tf2Scalar & angle) { setRotation(axis, angle); }

  void setRotation(const Vector3 & axis, const tf2Scalar & angle)
  {
    tf2Scalar d = axis.length();
    tf2Scalar s = tf2Sin(angle * tf2Scalar(0.5)) / d;
    setValue(axis.x() * s, axis.y() * s, axis.z() * s, tf2Cos(angle * tf2Scalar(0.5)));
  }

  /// Fixed-axis roll about X, then pitch about Y, then yaw about Z (radians).
  void setRPY(const tf2Scalar & roll, const tf2Scalar & pitch, const tf2Scalar & yaw)
  {
    tf2Scalar halfYaw = yaw * tf2Scalar(0.5);
    tf2Scalar halfPitch = pitch * tf2Scalar(0.5);
    tf2Scalar halfRoll = roll * tf2Scalar(0.5);
    tf2Scalar cosYaw = tf2Cos(halfYaw);
    tf2Scalar sinYaw = tf2Sin(halfYaw);
    tf2Scalar cosPitch = tf2Cos(halfPitch);
    tf2Scalar sinPitch = tf2Sin(halfPitch);
    tf2Scalar cosRoll = tf2Cos(halfRoll);
    tf2Scalar sinRoll = tf2Sin(halfRoll);
    setValue(
        sinRoll * cosPitch * cosYaw - cosRoll * sinPitch * sinYaw,
        cosRoll * sinPitch * cosYaw + sinRoll * cosPitch * sinYaw,
        cosRoll * cosPitch * sinYaw - sinRoll * sinPitch * cosYaw,
        cosRoll * cosPitch * cosYaw + sinRoll * sinPitch * sinYaw);
  }

  /// Same rotation as setRPY(roll, pitch, yaw).
  void setEuler(const tf2Scalar & yaw, const tf2Scalar & pitch, const tf2Scalar & roll)
  {
    tf2Scalar halfYaw = yaw * tf2Scalar(0.5);
    tf2Scalar halfPitch = pitch * tf2Scalar(0.5);
    tf2Scalar halfRoll = roll * tf2Scalar(0.5);
    tf2Scalar cosYaw = tf2Cos(halfYaw);
    tf2Scalar sinYaw = tf2Sin(halfYaw);
    tf2Scalar cosPitch = tf2Cos(halfPitch);
    tf2Scalar sinPitch = tf2Sin(halfPitch);
    tf2Scalar cosRoll = tf2Cos(halfRoll);
    tf2Scalar sinRoll = tf2Sin(halfRoll);
    setValue(
        cosRoll * sinPitch * cosYaw + sinRoll * cosPitch * sinYaw,
        cosRoll * cosPitch * sinYaw - sinRoll * sinPitch * cosYaw,
        sinRoll * cosPitch * cosYaw - cosRoll * sinPitch * sinYaw,
        cosRoll * cosPitch * cosYaw + sinRoll * sinPitch * sinYaw);
  }

  Quaternion & operator+=(const Quaternion & q)
  {
    m_floats[0] += q.x();
    m_floats[1] += q.y();
    m_floats[2] += q.z();
    m_floats[3] += q.m_floats[3];
    return *this;
  }
  Quaternion & operator-=(const Quaternion & q)
  {
    m_floats[0] -= q.x();
    m_floats[1] -= q.y();
    m_floats[2] -= q.z();
    m_floats[3] -= q.m_floats[3];
    return *this;
  }
  Quaternion & operator*=(const tf2Scalar & s)
  {
    m_floats[0] *= s;
    m_floats[1] *= s;
    m_floats[2] *= s;
    m_floats[3] *= s;
    return *this;
  }
  /// Hamilton product: this = this · q.
  Quaternion & operator*=(const Quaternion & q)
  {
    setValue(
        m_floats[3] * q.x() + m_floats[0] * q.m_floats[3] + m_floats[1] * q.z() -
            m_floats[2] * q.y(),
        m_floats[3] * q.y() + m_floats[1] * q.m_floats[3] + m_floats[2] * q.x() -
            m_floats[0] * q.z(),
        m_floats[3] * q.z() + m_floats[2] * q.m_floats[3] + m_floats[0] * q.y() -
            m_floats[1] * q.x(),
        m_floats[3] * q.m_floats[3] - m_floats[0] * q.x() - m_floats[1] * q.y() -
            m_floats[2] * q.z());
    return *this;
  }
  Quaternion & operator/=(const tf2Scalar & s) { return *this *= tf2Scalar(1.0) / s; }

  tf2Scalar dot(const Quaternion & q) const
  {
    return m_floats[0] * q.x() + m_floats[1] * q.y() + m_floats[2] * q.z() +
           m_floats[3] * q.m_floats[3];
  }
  tf2Scalar length2() const { return dot(*this); }
  tf2Scalar length() const { return tf2Sqrt(length2()); }
  Quaternion & normalize() { return *this /= length(); }
  Quaternion normalized() const;

  Quaternion operator*(const tf2Scalar & s) const
  {
    return Quaternion(x() * s, y() * s, z() * s, m_floats[3] * s);
  }
  Quaternion operator/(const tf2Scalar & s) const { return *this * (tf2Scalar(1.0) / s); }

  /// Half the angle between the two rotations.
  tf2Scalar angle(const Quaternion & q) const
  {
    tf2Scalar s = tf2Sqrt(length2() * q.length2());
    return tf2Acos(dot(q) / s);
  }
  /// Angle between the two rotations along the shortest path.
  tf2Scalar angleShortestPath(const Quaternion & q) const;

  /// Rotation angle in [0, 2π].
  tf2Scalar getAngle() const { return tf2Scalar(2.) * tf2Acos(m_floats[3]); }
  /// Rotation angle in [0, π].
  tf2Scalar getAngleShortestPath() const
  {
    tf2Scalar s;
    if (m_floats[3] >= 0) {
      s = tf2Scalar(2.) * tf2Acos(m_floats[3]);
    } else {
      s = tf2Scalar(2.) * tf2Acos(-m_floats[3]);
    }
    return s;
  }
  /// Rotation axis; (1, 0, 0) for a rotation of nearly zero angle.
  Vector3 getAxis() const
  {
    tf2Scalar s_squared = tf2Scalar(1.) - tf2Pow(m_floats[3], tf2Scalar(2.));
    if (s_squared < tf2Scalar(10.) * TF2SIMD_EPSILON) {
      return Vector3(1.0, 0.0, 0.0);
    }
    tf2Scalar s = tf2Sqrt(s_squared);
    return Vector3(m_floats[0] / s, m_floats[1] / s, m_floats[2] / s);
  }

  /// Conjugate (the inverse of a unit quaternion).
  Quaternion inverse() const
  {
    return Quaternion(-m_floats[0], -m_floats[1], -m_floats[2], m_floats[3]);
  }

  Quaternion operator+(const Quaternion & q2) const
  {
    return Quaternion(
        m_floats[0] + q2.x(),
        m_floats[1] + q2.y(),
        m_floats[2] + q2.z(),
        m_floats[3] + q2.m_floats[3]);
  }
  Quaternion operator-(const Quaternion & q2) const
  {
    return Quaternion(
        m_floats[0] - q2.x(),
        m_floats[1] - q2.y(),
        m_floats[2] - q2.z(),
        m_floats[3] - q2.m_floats[3]);
  }
  Quaternion operator-() const
  {
    return Quaternion(-m_floats[0], -m_floats[1], -m_floats[2], -m_floats[3]);
  }
  Quaternion farthest(const Quaternion & qd) const
  {
    Quaternion diff = *this - qd;
    Quaternion sum = *this + qd;
    return diff.dot(diff) > sum.dot(sum) ? qd : (-qd);
  }
  Quaternion nearest(const Quaternion & qd) const
  {
    Quaternion diff = *this - qd;
    Quaternion sum = *this + qd;
    return diff.dot(diff) < sum.dot(sum) ? qd : (-qd);
  }

  /// Spherical linear interpolation towards q by t in [0, 1], along the shorter arc.
  Quaternion slerp(const Quaternion & q, const tf2Scalar & t) const;

  static const Quaternion & getIdentity()
  {
    static const Quaternion identityQuat(
        tf2Scalar(0.), tf2Scalar(0.), tf2Scalar(0.), tf2Scalar(1.));
    return identityQuat;
  }

  const tf2Scalar & getW() const { return m_floats[3]; }
};

inline Quaternion operator*(const Quaternion & q1, const Quaternion & q2)
{
  return Quaternion(
      q1.w() * q2.x() + q1.x() * q2.w() + q1.y() * q2.z() - q1.z() * q2.y(),
      q1.w() * q2.y() + q1.y() * q2.w() + q1.z() * q2.x() - q1.x() * q2.z(),
      q1.w() * q2.z() + q1.z() * q2.w() + q1.x() * q2.y() - q1.y() * q2.x(),
      q1.w() * q2.w() - q1.x() * q2.x() - q1.y() * q2.y() - q1.z() * q2.z());
}

inline Quaternion operator*(const Quaternion & q, const Vector3 & w)
{
  return Quaternion(
      q.w() * w.x() + q.y() * w.z() - q.z() * w.y(),
      q.w() * w.y() + q.z() * w.x() - q.x() * w.z(),
      q.w() * w.z() + q.x() * w.y() - q.y() * w.x(),
      -q.x() * w.x() - q.y() * w.y() - q.z() * w.z());
}

inline Quaternion operator*(const Vector3 & w, const Quaternion & q)
{
  return Quaternion(
      w.x() * q.w() + w.y() * q.z() - w.z() * q.y(),
      w.y() * q.w() + w.z() * q.x() - w.x() * q.z(),
      w.z() * q.w() + w.x() * q.y() - w.y() * q.x(),
      -w.x() * q.x() - w.y() * q.y() - w.z() * q.z());
}

inline Quaternion Quaternion::normalized() const { return *this / length(); }

inline tf2Scalar Quaternion::angleShortestPath(const Quaternion & q) const
{
  tf2Scalar s = tf2Sqrt(length2() * q.length2());
  if (dot(q) < 0) {
    return tf2Acos(dot(-q) / s) * tf2Scalar(2.0);
  }
  return tf2Acos(dot(q) / s) * tf2Scalar(2.0);
}

inline Quaternion Quaternion::slerp(const Quaternion & q, const tf2Scalar & t) const
{
  tf2Scalar theta = angleShortestPath(q) / tf2Scalar(2.0);
  if (theta == tf2Scalar(0.0)) {
    return *this;
  }
  tf2Scalar d = tf2Scalar(1.0) / tf2Sin(theta);
  tf2Scalar s0 = tf2Sin((tf2Scalar(1.0) - t) * theta);
  tf2Scalar s1 = tf2Sin(t * theta);
  if (dot(q) < 0) {
    return Quaternion(
        (m_floats[0] * s0 + -q.x() * s1) * d,
        (m_floats[1] * s0 + -q.y() * s1) * d,
        (m_floats[2] * s0 + -q.z() * s1) * d,
        (m_floats[3] * s0 + -q.m_floats[3] * s1) * d);
  }
  return Quaternion(
      (m_floats[0] * s0 + q.x() * s1) * d,
      (m_floats[1] * s0 + q.y() * s1) * d,
      (m_floats[2] * s0 + q.z() * s1) * d,
      (m_floats[3] * s0 + q.m_floats[3] * s1) * d);
}

inline tf2Scalar dot(const Quaternion & q1, const Quaternion & q2) { return q1.dot(q2); }
inline tf2Scalar length(const Quaternion & q) { return q.length(); }
inline tf2Scalar angle(const Quaternion & q1, const Quaternion & q2) { return q1.angle(q2); }
inline tf2Scalar angleShortestPath(const Quaternion & q1, const Quaternion & q2)
{
  return q1.angleShortestPath(q2);
}
inline Quaternion inverse(const Quaternion & q) { return q.inverse(); }
inline Quaternion slerp(const Quaternion & q1, const Quaternion & q2, const tf2Scalar & t)
{
  return q1.slerp(q2, t);
}

/// Rotates v by the unit quaternion `rotation`.
inline Vector3 quatRotate(const Quaternion & rotation, const Vector3 & v)
{
  Quaternion q = rotation * v;
  q *= rotation.inverse();
  return Vector3(q.getX(), q.getY(), q.getZ());
}

/// Shortest-arc rotation taking v0 onto v1 (both normalised).
inline Quaternion shortestArcQuat(const Vector3 & v0, const Vector3 & v1)
{
  Vector3 c = v0.cross(v1);
  tf2Scalar d = v0.dot(v1);
  if (d < -1.0 + TF2SIMD_EPSILON) {
    return Quaternion(0.0f, 1.0f, 0.0f, 0.0f);
  }
  tf2Scalar s = tf2Sqrt((1.0f + d) * 2.0f);
  tf2Scalar rs = 1.0f / s;
  return Quaternion(c.getX() * rs, c.getY() * rs, c.getZ() * rs, s * 0.5f);
}

}  // namespace tf2

#endif  // TF2__LINEARMATH__QUATERNION_H_
