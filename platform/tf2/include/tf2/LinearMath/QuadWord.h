// Four-component base of Quaternion (Bullet style).
#ifndef TF2__LINEARMATH__QUADWORD_H_
#define TF2__LINEARMATH__QUADWORD_H_

#include "tf2/LinearMath/MinMax.h"
#include "tf2/LinearMath/Scalar.h"

namespace tf2 {

/// Storage and accessors shared by four-component types.
class QuadWord
{
protected:
  tf2Scalar m_floats[4];

public:
  const tf2Scalar & getX() const { return m_floats[0]; }
  const tf2Scalar & getY() const { return m_floats[1]; }
  const tf2Scalar & getZ() const { return m_floats[2]; }
  void setX(tf2Scalar x) { m_floats[0] = x; }
  void setY(tf2Scalar y) { m_floats[1] = y; }
  void setZ(tf2Scalar z) { m_floats[2] = z; }
  void setW(tf2Scalar w) { m_floats[3] = w; }
  const tf2Scalar & x() const { return m_floats[0]; }
  const tf2Scalar & y() const { return m_floats[1]; }
  const tf2Scalar & z() const { return m_floats[2]; }
  const tf2Scalar & w() const { return m_floats[3]; }

  operator tf2Scalar *() { return &m_floats[0]; }
  operator const tf2Scalar *() const { return &m_floats[0]; }

  bool operator==(const QuadWord & other) const
  {
    return m_floats[3] == other.m_floats[3] && m_floats[2] == other.m_floats[2] &&
           m_floats[1] == other.m_floats[1] && m_floats[0] == other.m_floats[0];
  }
  bool operator!=(const QuadWord & other) const { return !(*this == other); }

  void setValue(const tf2Scalar & x, const tf2Scalar & y, const tf2Scalar & z)
  {
    m_floats[0] = x;
    m_floats[1] = y;
    m_floats[2] = z;
    m_floats[3] = 0.0;
  }
  void setValue(const tf2Scalar & x, const tf2Scalar & y, const tf2Scalar & z, const tf2Scalar & w)
  {
    m_floats[0] = x;
    m_floats[1] = y;
    m_floats[2] = z;
    m_floats[3] = w;
  }

  QuadWord() : m_floats{0.0, 0.0, 0.0, 0.0} {}
  QuadWord(const tf2Scalar & x, const tf2Scalar & y, const tf2Scalar & z) : m_floats{x, y, z, 0.0}
  {
  }
  QuadWord(const tf2Scalar & x, const tf2Scalar & y, const tf2Scalar & z, const tf2Scalar & w)
      : m_floats{x, y, z, w}
  {
  }
};

}  // namespace tf2

#endif  // TF2__LINEARMATH__QUADWORD_H_
