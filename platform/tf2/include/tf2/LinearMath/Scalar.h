// Scalar type and helpers of the tf2 linear-math subset (Bullet style).
#ifndef TF2__LINEARMATH__SCALAR_H_
#define TF2__LINEARMATH__SCALAR_H_

#include <cmath>

typedef double tf2Scalar;

#define TF2SIMD_PI tf2Scalar(3.1415926535897932384626433832795029)
#define TF2SIMD_2_PI (tf2Scalar(2.0) * TF2SIMD_PI)
#define TF2SIMD_HALF_PI (TF2SIMD_PI * tf2Scalar(0.5))
#define TF2SIMD_EPSILON tf2Scalar(2.2204460492503131e-16)
#define TF2SIMD_INFINITY tf2Scalar(1.7976931348623158e+308)
#define TF2_LARGE_FLOAT 1e30

inline tf2Scalar tf2Sqrt(tf2Scalar x) { return std::sqrt(x); }
inline tf2Scalar tf2Fabs(tf2Scalar x) { return std::fabs(x); }
inline tf2Scalar tf2Cos(tf2Scalar x) { return std::cos(x); }
inline tf2Scalar tf2Sin(tf2Scalar x) { return std::sin(x); }
inline tf2Scalar tf2Tan(tf2Scalar x) { return std::tan(x); }
inline tf2Scalar tf2Atan(tf2Scalar x) { return std::atan(x); }
inline tf2Scalar tf2Atan2(tf2Scalar y, tf2Scalar x) { return std::atan2(y, x); }
inline tf2Scalar tf2Pow(tf2Scalar x, tf2Scalar y) { return std::pow(x, y); }

inline tf2Scalar tf2Acos(tf2Scalar x)
{
  if (x < tf2Scalar(-1)) {
    x = tf2Scalar(-1);
  }
  if (x > tf2Scalar(1)) {
    x = tf2Scalar(1);
  }
  return std::acos(x);
}

inline tf2Scalar tf2Asin(tf2Scalar x)
{
  if (x < tf2Scalar(-1)) {
    x = tf2Scalar(-1);
  }
  if (x > tf2Scalar(1)) {
    x = tf2Scalar(1);
  }
  return std::asin(x);
}

inline bool tf2FuzzyZero(tf2Scalar x) { return tf2Fabs(x) < TF2SIMD_EPSILON; }

inline tf2Scalar tf2Radians(tf2Scalar x) { return x * (TF2SIMD_PI / tf2Scalar(180.0)); }
inline tf2Scalar tf2Degrees(tf2Scalar x) { return x * (tf2Scalar(180.0) / TF2SIMD_PI); }

#endif  // TF2__LINEARMATH__SCALAR_H_
