#include <gtest/gtest.h>

#include <cmath>

#include "tf2/LinearMath/Matrix3x3.h"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"
#include "tf2/LinearMath/Vector3.h"
#include "tf2/time.h"
#include "tf2/utils.h"

namespace {

constexpr double kEps = 1e-9;

void expectVectorNear(const tf2::Vector3 & expected, const tf2::Vector3 & actual)
{
  EXPECT_NEAR(expected.x(), actual.x(), kEps);
  EXPECT_NEAR(expected.y(), actual.y(), kEps);
  EXPECT_NEAR(expected.z(), actual.z(), kEps);
}

tf2::Quaternion fromRPY(double roll, double pitch, double yaw)
{
  tf2::Quaternion q;
  q.setRPY(roll, pitch, yaw);
  return q;
}

}  // namespace

TEST(Quaternion, RotatesVectorsAboutTheAxis)
{
  const tf2::Quaternion quarter_turn_z(tf2::Vector3(0, 0, 1), M_PI / 2);
  expectVectorNear(tf2::Vector3(0, 1, 0), tf2::quatRotate(quarter_turn_z, tf2::Vector3(1, 0, 0)));
  const tf2::Quaternion quarter_turn_x(tf2::Vector3(2, 0, 0), M_PI / 2);  // axis not unit
  expectVectorNear(tf2::Vector3(0, 0, 1), tf2::quatRotate(quarter_turn_x, tf2::Vector3(0, 1, 0)));
}

TEST(Quaternion, ProductComposesRightToLeft)
{
  const tf2::Quaternion yaw = fromRPY(0, 0, M_PI / 2);
  const tf2::Quaternion roll = fromRPY(M_PI / 2, 0, 0);
  // Roll first, then yaw: y -> z stays z.
  expectVectorNear(tf2::Vector3(0, 0, 1), tf2::quatRotate(yaw * roll, tf2::Vector3(0, 1, 0)));
  // Yaw first, then roll: y -> -x stays -x.
  expectVectorNear(tf2::Vector3(-1, 0, 0), tf2::quatRotate(roll * yaw, tf2::Vector3(0, 1, 0)));
  tf2::Quaternion accumulated = yaw;
  accumulated *= roll;
  EXPECT_NEAR(0.0, (accumulated - yaw * roll).length(), kEps);
}

TEST(Quaternion, InverseUndoesTheRotation)
{
  const tf2::Quaternion q = fromRPY(0.3, -0.7, 2.1);
  const tf2::Vector3 v(0.4, -1.2, 3.3);
  expectVectorNear(v, tf2::quatRotate(q.inverse(), tf2::quatRotate(q, v)));
}

TEST(Quaternion, SlerpFollowsTheShorterArc)
{
  const tf2::Quaternion a = fromRPY(0, 0, 0);
  const tf2::Quaternion b = fromRPY(0, 0, M_PI / 2);
  EXPECT_NEAR(M_PI / 4, tf2::getYaw(tf2::slerp(a, b, 0.5)), kEps);
  EXPECT_NEAR(M_PI / 8, tf2::getYaw(tf2::slerp(a, b, 0.25)), kEps);
  // -b is the same rotation; the interpolation must not take the long way round.
  EXPECT_NEAR(M_PI / 4, tf2::getYaw(tf2::slerp(a, -b, 0.5)), kEps);
  // Angles across ±π interpolate through π.
  const tf2::Quaternion c = fromRPY(0, 0, 3.0);
  const tf2::Quaternion d = fromRPY(0, 0, -3.0);
  const double mid = tf2::getYaw(tf2::slerp(c, d, 0.5));
  EXPECT_NEAR(M_PI, std::fabs(mid), 1e-9);
}

TEST(Quaternion, AngleAndAxis)
{
  const tf2::Quaternion q(tf2::Vector3(0, 1, 0), 0.8);
  EXPECT_NEAR(0.8, q.getAngle(), kEps);
  expectVectorNear(tf2::Vector3(0, 1, 0), q.getAxis());
  expectVectorNear(tf2::Vector3(1, 0, 0), tf2::Quaternion::getIdentity().getAxis());
}

TEST(Matrix3x3, QuaternionRoundTripCoversEveryBranch)
{
  // Positive trace, and the three negative-trace branches (half turns about x, y and z).
  const tf2::Quaternion cases[] = {
      fromRPY(0.1, 0.2, 0.3),
      tf2::Quaternion(1, 0, 0, 0),
      tf2::Quaternion(0, 1, 0, 0),
      tf2::Quaternion(0, 0, 1, 0),
      fromRPY(3.0, 0.1, -2.9)};
  for (const auto & q : cases) {
    tf2::Quaternion back;
    tf2::Matrix3x3(q).getRotation(back);
    // q and -q are one rotation.
    EXPECT_NEAR(1.0, std::fabs(back.dot(q)), kEps);
  }
}

TEST(Matrix3x3, RpyRoundTrip)
{
  const double roll = 0.4, pitch = -0.3, yaw = 2.5;
  tf2::Matrix3x3 m(fromRPY(roll, pitch, yaw));
  double r, p, y;
  m.getRPY(r, p, y);
  EXPECT_NEAR(roll, r, kEps);
  EXPECT_NEAR(pitch, p, kEps);
  EXPECT_NEAR(yaw, y, kEps);

  tf2::Matrix3x3 built;
  built.setRPY(roll, pitch, yaw);
  for (int i = 0; i < 3; ++i) {
    expectVectorNear(m.getRow(i), built.getRow(i));
  }
}

TEST(Matrix3x3, OpenGLSubMatrixIsColumnMajor)
{
  const tf2::Matrix3x3 m(1, 2, 3, 4, 5, 6, 7, 8, 9);
  tf2Scalar gl[12];
  m.getOpenGLSubMatrix(gl);
  const tf2Scalar expected[12] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(expected[i], gl[i]) << "index " << i;
  }
}

TEST(Matrix3x3, InverseAndTranspose)
{
  const tf2::Matrix3x3 m(2, 0, 1, 1, 3, 0, 0, 1, 4);
  const tf2::Matrix3x3 product = m * m.inverse();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(i == j ? 1.0 : 0.0, product[i][j], kEps);
    }
  }
  EXPECT_NEAR(2 * 12 - 0 + 1 * 1, m.determinant(), kEps);
  const tf2::Matrix3x3 t = m.transpose();
  EXPECT_EQ(1.0, t[0][1]);
  EXPECT_EQ(1.0, t[2][0]);
  EXPECT_EQ(0.0, t[0][2]);
}

TEST(Transform, AppliesRotationThenTranslation)
{
  const tf2::Transform t(fromRPY(0, 0, M_PI / 2), tf2::Vector3(1, 2, 3));
  expectVectorNear(tf2::Vector3(1, 3, 3), t * tf2::Vector3(1, 0, 0));
  expectVectorNear(tf2::Vector3(1, 0, 0), t.invXform(tf2::Vector3(1, 3, 3)));
}

TEST(Transform, CompositionAndInverse)
{
  const tf2::Transform a(fromRPY(0.2, -0.1, 1.0), tf2::Vector3(1, -2, 0.5));
  const tf2::Transform b(fromRPY(-0.4, 0.3, -2.0), tf2::Vector3(-3, 0.2, 1.5));
  const tf2::Vector3 p(0.7, 0.1, -0.9);
  expectVectorNear(a * (b * p), (a * b) * p);
  expectVectorNear(p, a.inverse() * (a * p));
  expectVectorNear((a.inverse() * b) * p, a.inverseTimes(b) * p);
  tf2::Transform c = a;
  c *= b;
  expectVectorNear((a * b) * p, c * p);
  tf2::Transform identity;
  identity.setIdentity();
  EXPECT_TRUE(identity == tf2::Transform::getIdentity());
  expectVectorNear(p, tf2::Transform::getIdentity() * p);
}

TEST(Transform, RotationAccessors)
{
  tf2::Transform t;
  t.setIdentity();
  t.setRotation(fromRPY(0, 0, 0.6));
  t.setOrigin(tf2::Vector3(4, 5, 6));
  EXPECT_NEAR(0.6, tf2::getYaw(t.getRotation()), kEps);
  tf2Scalar gl[16];
  t.getOpenGLMatrix(gl);
  EXPECT_EQ(4.0, gl[12]);
  EXPECT_EQ(5.0, gl[13]);
  EXPECT_EQ(6.0, gl[14]);
  EXPECT_EQ(1.0, gl[15]);
}

TEST(GetYaw, GeneralFormula)
{
  EXPECT_NEAR(1.3, tf2::getYaw(fromRPY(0.1, 0.2, 1.3)), kEps);
  EXPECT_NEAR(-2.8, tf2::getYaw(fromRPY(-0.5, 0.4, -2.8)), kEps);
  // Scale does not change the yaw (the formula normalises).
  EXPECT_NEAR(1.3, tf2::getYaw(fromRPY(0.1, 0.2, 1.3) * 3.0), kEps);
  double yaw, pitch, roll;
  tf2::getEulerYPR(fromRPY(0.1, 0.2, 1.3), yaw, pitch, roll);
  EXPECT_NEAR(1.3, yaw, kEps);
  EXPECT_NEAR(0.2, pitch, kEps);
  EXPECT_NEAR(0.1, roll, kEps);
}

TEST(GetYaw, NearSingularPitchUsesTheHalfAngleBranches)
{
  // sin(pitch) just above the 0.99999 threshold: yaw = 2·atan2(y, x).
  const double pitch_up = std::asin(0.999995);
  const tf2::Quaternion up = fromRPY(0.3, pitch_up, 0.9);
  EXPECT_NEAR(2 * std::atan2(up.y(), up.x()), tf2::getYaw(up), kEps);
  double yaw, pitch, roll;
  tf2::getEulerYPR(up, yaw, pitch, roll);
  EXPECT_EQ(0.0, roll);
  EXPECT_NEAR(2 * std::atan2(up.y(), up.x()), yaw, kEps);

  // The mirror branch: yaw = −2·atan2(y, x).
  const tf2::Quaternion down = fromRPY(0.3, -pitch_up, 0.9);
  EXPECT_NEAR(-2 * std::atan2(down.y(), down.x()), tf2::getYaw(down), kEps);

  // Just below the threshold the general formula still applies.
  const tf2::Quaternion below = fromRPY(0.0, std::asin(0.99998), 0.9);
  const double sqx = below.x() * below.x(), sqy = below.y() * below.y();
  const double sqz = below.z() * below.z(), sqw = below.w() * below.w();
  const double general =
      std::atan2(2 * (below.x() * below.y() + below.w() * below.z()), sqw + sqx - sqy - sqz);
  EXPECT_NEAR(general, tf2::getYaw(below), kEps);
  EXPECT_GT(std::fabs(general - 2 * std::atan2(below.y(), below.x())), 1e-3);
}

TEST(Time, SecondConversions)
{
  EXPECT_EQ(tf2::Duration(1500000000), tf2::durationFromSec(1.5));
  EXPECT_EQ(tf2::Duration(-500000000), tf2::durationFromSec(-0.5));
  EXPECT_EQ(tf2::Duration(200000000), tf2::durationFromSec(0.2));
  EXPECT_DOUBLE_EQ(2.25, tf2::durationToSec(tf2::Duration(2250000000)));
  EXPECT_DOUBLE_EQ(12.5, tf2::timeToSec(tf2::timeFromSec(12.5)));
  EXPECT_EQ(tf2::TimePoint(), tf2::TimePointZero);
  EXPECT_EQ("3.250000", tf2::displayTimePoint(tf2::timeFromSec(3.25)));
}
