#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "brindlex_velnor/camera_frustum_param.hpp"
#include "brindlex_velnor/frustum_detector.hpp"
#include "velnor_test_helpers.hpp"

namespace {

using velnor::CameraFrustumParam;
using velnor::FrustumDetector;
using velnor::FrustumDetectorStrategy;
using velnor_test::CameraPose;
using velnor_test::LogCapture;
using velnor_test::makeCameraInfo;

constexpr double kPi = 3.14159265358979323846;
constexpr float kInf = std::numeric_limits<float>::infinity();

// Half view angles of the 640 x 480 camera: pixel column 0 lies left of the axis by atan(319.5 /
// 525), the image edge at column 640 right of it by atan(320.5 / 525).
const double kLeft = std::atan(319.5 / 525.0);
const double kRight = std::atan(320.5 / 525.0);

FrustumDetectorStrategy distinctStrategy()
{
  FrustumDetectorStrategy s;
  s.no_reference_point = 10;
  s.out_of_theta = 11;
  s.near_range_without_point = 12;
  s.near_range_with_point = 13;
  s.far_range_without_point = 14;
  s.far_range_with_point = 15;
  s.inside_without_point = 16;
  s.inside_with_point = 17;
  return s;
}

pcl::PointXYZ toPcl(const Eigen::Vector3d & p)
{
  return pcl::PointXYZ(
      static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z()));
}

geometry_msgs::msg::Polygon polygonOf(const std::vector<Eigen::Vector3d> & points)
{
  geometry_msgs::msg::Polygon polygon;
  for (const auto & p : points) {
    geometry_msgs::msg::Point32 v;
    v.x = static_cast<float>(p.x());
    v.y = static_cast<float>(p.y());
    v.z = 123.0f;  // ignored
    polygon.points.push_back(v);
  }
  return polygon;
}

std::shared_ptr<FrustumDetector::Cloud> cloudOf(const std::vector<Eigen::Vector3d> & points)
{
  auto cloud = std::make_shared<FrustumDetector::Cloud>();
  for (const auto & p : points) {
    cloud->push_back(toPcl(p));
  }
  return cloud;
}

class CameraFrustumParamTest : public ::testing::Test
{
protected:
  void SetUp() override { LogCapture::instance().clear(); }
  size_t errors(const std::string & text) const
  {
    return LogCapture::instance().count(spdlog::level::err, text);
  }
};

TEST_F(CameraFrustumParamTest, CornersOfTheWorkedCamera)
{
  const CameraFrustumParam param(makeCameraInfo(), 0.5f, 3.0f);
  EXPECT_EQ("camera_optical", param.frame_id);
  EXPECT_EQ(480u, param.height);
  EXPECT_EQ(640u, param.width);
  EXPECT_FLOAT_EQ(525.0f, param.projection[0]);
  EXPECT_FLOAT_EQ(319.5f, param.projection[2]);
  EXPECT_FLOAT_EQ(239.5f, param.projection[6]);
  EXPECT_FLOAT_EQ(1.0f, param.projection[10]);
  const double pixels[4][2] = {{0, 0}, {0, 480}, {640, 0}, {640, 480}};
  for (int c = 0; c < 8; ++c) {
    const double z = c < 4 ? 0.5 : 3.0;
    const double u = pixels[c % 4][0];
    const double v = pixels[c % 4][1];
    EXPECT_NEAR((u - 319.5) * z / 525.0, param.corners(0, c), 1e-6) << "corner " << c;
    EXPECT_NEAR((v - 239.5) * z / 525.0, param.corners(1, c), 1e-6) << "corner " << c;
    EXPECT_FLOAT_EQ(static_cast<float>(z), param.corners(2, c));
  }
  // Spot values: the far top-left and far bottom-right corners.
  EXPECT_NEAR(-1.825714, param.corners(0, 4), 1e-5);
  EXPECT_NEAR(-1.368571, param.corners(1, 4), 1e-5);
  EXPECT_NEAR(1.831429, param.corners(0, 7), 1e-5);
  EXPECT_NEAR(1.374286, param.corners(1, 7), 1e-5);
  EXPECT_EQ(0u, LogCapture::instance().total());
}

TEST_F(CameraFrustumParamTest, BaselineShiftsTheCorners)
{
  auto info = makeCameraInfo();
  info.p[3] = -26.25;  // Tx = -fx * 0.05 m
  const CameraFrustumParam param(info, 1.0f, 2.0f);
  EXPECT_NEAR((-319.5 * 1.0 + 26.25) / 525.0, param.corners(0, 0), 1e-6);
  EXPECT_NEAR((320.5 * 2.0 + 26.25) / 525.0, param.corners(0, 7), 1e-6);
}

TEST_F(CameraFrustumParamTest, NegativeMinimumBecomesZeroWithOneRecord)
{
  const CameraFrustumParam param(makeCameraInfo(), -1.0f, 3.0f);
  EXPECT_FLOAT_EQ(0.0f, param.view_min_distance);
  EXPECT_FLOAT_EQ(3.0f, param.view_max_distance);
  EXPECT_EQ(1u, errors("CameraFrustumParam view_min_distance -1 is invalid, set to default 0"));
  EXPECT_EQ(1u, LogCapture::instance().total());
  for (int c = 0; c < 4; ++c) {
    EXPECT_FLOAT_EQ(0.0f, param.corners(0, c));
    EXPECT_FLOAT_EQ(0.0f, param.corners(2, c));
  }
}

TEST_F(CameraFrustumParamTest, NonFiniteMinimumBecomesZero)
{
  const CameraFrustumParam nan_min(makeCameraInfo(), std::nanf(""), 3.0f);
  EXPECT_FLOAT_EQ(0.0f, nan_min.view_min_distance);
  const CameraFrustumParam inf_min(makeCameraInfo(), kInf, 3.0f);
  EXPECT_FLOAT_EQ(0.0f, inf_min.view_min_distance);
  EXPECT_FLOAT_EQ(3.0f, inf_min.view_max_distance);
}

TEST_F(CameraFrustumParamTest, MaximumBelowMinimumBecomesTheMinimum)
{
  const CameraFrustumParam param(makeCameraInfo(), 2.0f, 1.0f);
  EXPECT_FLOAT_EQ(2.0f, param.view_min_distance);
  EXPECT_FLOAT_EQ(2.0f, param.view_max_distance);
  EXPECT_EQ(
      1u,
      errors("CameraFrustumParam view_max_distance 1 is invalid, set to the same with "
             "view_min_distance"));

  // Compared with the corrected minimum.
  LogCapture::instance().clear();
  const CameraFrustumParam corrected(makeCameraInfo(), -3.0f, -2.0f);
  EXPECT_FLOAT_EQ(0.0f, corrected.view_min_distance);
  EXPECT_FLOAT_EQ(0.0f, corrected.view_max_distance);
  EXPECT_EQ(2u, LogCapture::instance().total());

  const CameraFrustumParam infinite(makeCameraInfo(), 0.5f, kInf);
  EXPECT_FLOAT_EQ(0.5f, infinite.view_max_distance);
}

TEST_F(CameraFrustumParamTest, EqualDistancesStayWithoutRecord)
{
  const CameraFrustumParam param(makeCameraInfo(), 1.5f, 1.5f);
  EXPECT_FLOAT_EQ(1.5f, param.view_min_distance);
  EXPECT_FLOAT_EQ(1.5f, param.view_max_distance);
  EXPECT_EQ(0u, LogCapture::instance().total());
}

TEST_F(CameraFrustumParamTest, ZeroImageSizeSetsBothToZero)
{
  const CameraFrustumParam param(makeCameraInfo(640, 0), 0.5f, 3.0f);
  EXPECT_EQ(0u, param.width);
  EXPECT_EQ(0u, param.height);
  EXPECT_EQ(1u, errors("CameraFrustumParam height 0 and width 640 is invalid, set both to 0"));
  // Every corner then lies at pixel (0, 0).
  for (int c = 0; c < 8; ++c) {
    const double z = c < 4 ? 0.5 : 3.0;
    EXPECT_NEAR(-319.5 * z / 525.0, param.corners(0, c), 1e-6);
    EXPECT_NEAR(-239.5 * z / 525.0, param.corners(1, c), 1e-6);
  }
}

class FrustumDetectorResolutionTest : public CameraFrustumParamTest
{
};

TEST_F(FrustumDetectorResolutionTest, ZeroRangeResolutionGetsTheDefault)
{
  FrustumDetector detector(makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.0f, FrustumDetectorStrategy());
  EXPECT_FLOAT_EQ(0.05f, detector.r_resolution);
  EXPECT_FLOAT_EQ(0.1f, detector.theta_resolution);
  EXPECT_EQ(
      1u,
      LogCapture::instance().count(
          spdlog::level::warn,
          "FrustumDetector input param r_resolution is invalid, set to default 0.05"));
  EXPECT_EQ(1u, LogCapture::instance().total());
}

TEST_F(FrustumDetectorResolutionTest, NegativeAngleResolutionGetsTheDefault)
{
  FrustumDetector detector(makeCameraInfo(), 0.5f, 3.0f, -0.2f, 0.25f, FrustumDetectorStrategy());
  EXPECT_FLOAT_EQ(0.0881f, detector.theta_resolution);
  EXPECT_FLOAT_EQ(0.25f, detector.r_resolution);
  EXPECT_EQ(
      1u,
      LogCapture::instance().count(
          spdlog::level::warn,
          "FrustumDetector input param theta_resolution is invalid, set to default 0.0881"));
}

TEST_F(FrustumDetectorResolutionTest, FreshDetectorIsCleared)
{
  FrustumDetector d(makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, distinctStrategy());
  EXPECT_FALSE(d.has_transform);
  EXPECT_FALSE(d.ready);
  EXPECT_EQ(0, d.reference_point_count);
  EXPECT_EQ(0, d.input_cloud_count);
  EXPECT_EQ(0, d.slope_grid.size());
  EXPECT_EQ(kInf, d.theta_min);
  EXPECT_EQ(-kInf, d.theta_max);
  EXPECT_EQ(RCL_SYSTEM_TIME, d.stamp.get_clock_type());
  EXPECT_EQ(0, d.stamp.nanoseconds());
  EXPECT_EQ(-kInf, d.frustum_box.x_min);
  EXPECT_EQ(kInf, d.frustum_box.x_max);
  EXPECT_EQ(17, d.strategy.inside_with_point);
  // Queries before any pose.
  LogCapture::instance().clear();
  EXPECT_FALSE(d.isInsideFrustum(pcl::PointXYZ(1.0f, 0.0f, 0.0f)));
  EXPECT_EQ(
      1u,
      LogCapture::instance().count(
          spdlog::level::err, "FrustumDetector::isInsideFrustum is not ok, init was failed"));
  EXPECT_FALSE(d.isCrossFrustum(-100.0f, 100.0f, -100.0f, 100.0f));
  EXPECT_EQ(
      1u,
      LogCapture::instance().count(
          spdlog::level::warn, "FrustumDetector::isCrossFrustum is not ok"));
  EXPECT_EQ(-1, d.checkPointFrustumStatus(pcl::PointXYZ(1.0f, 0.0f, 0.0f), true));
  visualization_msgs::msg::Marker marker;
  marker.points.resize(3);
  EXPECT_FALSE(d.getMarker(marker));
  EXPECT_EQ(3u, marker.points.size());
}

// The worked example: camera at (2, -1) and 0.8 m high, looking along the bearing 0.6 rad;
// view 0.5 m to 3 m; bins of 0.1 rad and 0.25 m.
class WorkedCamera : public ::testing::Test
{
protected:
  WorkedCamera()
      : pose{2.0, -1.0, 0.8, 0.6},
        detector(makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, distinctStrategy())
  {
  }

  void SetUp() override { LogCapture::instance().clear(); }

  // The extents the grid must have, from the camera geometry alone.
  double thetaMin() const { return pose.yaw - kRight; }
  double thetaMax() const { return pose.yaw + kLeft; }
  double rMin() const { return 0.5 * std::hypot(1.0, 319.5 / 525.0); }
  double rMax() const { return 3.0 * std::hypot(1.0, 320.5 / 525.0); }

  // A global point at bearing theta_min + a and horizontal distance r_min + rho, with slope s.
  Eigen::Vector3d at(double a, double rho, double s) const
  {
    const double d = rMin() + rho;
    return pose.polar(thetaMin() + a, d, pose.height + s * d);
  }

  // Centre of original cell (i, j) with slope s.
  Eigen::Vector3d cell(int i, int j, double s) const
  {
    return at((j + 0.5) * 0.1, (i + 0.5) * 0.25, s);
  }

  void pose_and_shape(const std::vector<Eigen::Vector3d> & shape)
  {
    ASSERT_TRUE(detector.setTrans(pose.transform(12, 500)));
    ASSERT_TRUE(detector.setShape(polygonOf(shape)));
  }

  CameraPose pose;
  FrustumDetector detector;
};

TEST_F(WorkedCamera, PoseGivesRotationTranslationAndStamp)
{
  ASSERT_TRUE(detector.setTrans(pose.transform(12, 500)));
  EXPECT_TRUE(detector.has_transform);
  EXPECT_FALSE(detector.ready);
  EXPECT_EQ(12000000500, detector.stamp.nanoseconds());
  EXPECT_FLOAT_EQ(2.0f, detector.translation[0]);
  EXPECT_FLOAT_EQ(-1.0f, detector.translation[1]);
  EXPECT_FLOAT_EQ(0.8f, detector.translation[2]);
  // Optical z (column 2) is the forward direction, optical y (column 1) points down.
  EXPECT_NEAR(std::cos(0.6), detector.rotation[2], 1e-6);
  EXPECT_NEAR(std::sin(0.6), detector.rotation[5], 1e-6);
  EXPECT_NEAR(0.0, detector.rotation[8], 1e-6);
  EXPECT_NEAR(-1.0, detector.rotation[7], 1e-6);
}

TEST_F(WorkedCamera, WorldProjectionMapsGlobalPointsToPixelsAndDepth)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  const double samples[][3] = {
      {0.0, 0.0, 1.0}, {0.4, -0.2, 2.0}, {-1.0, 0.5, 2.5}, {0.1, 0.3, 0.7}};
  for (const auto & q : samples) {
    const Eigen::Vector3d x = pose.toGlobal(q[0], q[1], q[2]);
    const float * w = detector.world_projection;
    const double su = w[0] * x.x() + w[1] * x.y() + w[2] * x.z() + w[3];
    const double sv = w[4] * x.x() + w[5] * x.y() + w[6] * x.z() + w[7];
    const double s = w[8] * x.x() + w[9] * x.y() + w[10] * x.z() + w[11];
    EXPECT_NEAR(q[2], s, 1e-5);
    EXPECT_NEAR(525.0 * q[0] / q[2] + 319.5, su / s, 1e-3);
    EXPECT_NEAR(525.0 * q[1] / q[2] + 239.5, sv / s, 1e-3);
  }
}

TEST_F(WorkedCamera, FrustumBoxBoundsTheEightCorners)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  double x_min = 1e9, x_max = -1e9, y_min = 1e9, y_max = -1e9;
  for (double z : {0.5, 3.0}) {
    for (double u : {0.0, 640.0}) {
      for (double v : {0.0, 480.0}) {
        const auto c = pose.toGlobal((u - 319.5) * z / 525.0, (v - 239.5) * z / 525.0, z);
        x_min = std::min(x_min, c.x());
        x_max = std::max(x_max, c.x());
        y_min = std::min(y_min, c.y());
        y_max = std::max(y_max, c.y());
      }
    }
  }
  EXPECT_NEAR(x_min, detector.frustum_box.x_min, 1e-5);
  EXPECT_NEAR(x_max, detector.frustum_box.x_max, 1e-5);
  EXPECT_NEAR(y_min, detector.frustum_box.y_min, 1e-5);
  EXPECT_NEAR(y_max, detector.frustum_box.y_max, 1e-5);
  // The near corners are the lowest x: 2 + 0.5 cos 0.6 - 0.3043 sin 0.6 (left near corner).
  EXPECT_NEAR(2.0 + 0.5 * std::cos(0.6) - 319.5 * 0.5 / 525.0 * std::sin(0.6), x_min, 1e-9);
}

TEST_F(WorkedCamera, PolarGridExtentAndSize)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  EXPECT_NEAR(thetaMin(), detector.theta_min, 1e-5);
  EXPECT_NEAR(thetaMax(), detector.theta_max, 1e-5);
  EXPECT_NEAR(rMin(), detector.r_min, 1e-5);
  EXPECT_NEAR(rMax(), detector.r_max, 1e-5);
  // (0.5467 + 0.5481) / 0.1 = 10.95 -> 11 angle bins; (3.5148 - 0.5853) / 0.25 = 11.72 -> 12.
  EXPECT_EQ(12, detector.slope_grid.rows());
  EXPECT_EQ(11, detector.slope_grid.cols());
  EXPECT_TRUE((detector.slope_grid.array() == -kInf).all());
  // The window starts empty.
  EXPECT_EQ(11, detector.r_index_min);
  EXPECT_EQ(0, detector.r_index_max);
  EXPECT_EQ(10, detector.theta_index_min);
  EXPECT_EQ(0, detector.theta_index_max);
}

TEST_F(WorkedCamera, SecondPoseWithoutClearWidensTheExtents)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  CameraPose turned = pose;
  turned.yaw = 0.9;
  ASSERT_TRUE(detector.setTrans(turned.transform()));
  EXPECT_NEAR(0.6 - kRight, detector.theta_min, 1e-5);
  EXPECT_NEAR(0.9 + kLeft, detector.theta_max, 1e-5);
  EXPECT_EQ(14, detector.slope_grid.cols());  // 13.95 -> 14
  EXPECT_EQ(12, detector.slope_grid.rows());

  detector.clear();
  ASSERT_TRUE(detector.setTrans(turned.transform()));
  EXPECT_NEAR(0.9 - kRight, detector.theta_min, 1e-5);
  EXPECT_EQ(11, detector.slope_grid.cols());
}

TEST_F(WorkedCamera, NewPoseWithTheSameCellCountKeepsTheGridStorage)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(4, 3, 0.1)})));
  const float * storage = detector.slope_grid.data();
  detector.clear();
  CameraPose moved = pose;
  moved.x += 1.0;
  ASSERT_TRUE(detector.setTrans(moved.transform()));
  EXPECT_EQ(storage, detector.slope_grid.data());
  // ... and starts it empty.
  EXPECT_TRUE((detector.slope_grid.array() == -kInf).all());
}

TEST_F(WorkedCamera, ShapeWindowFromVerticesInsideTheGrid)
{
  pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0), cell(5, 4, 0.0)});
  EXPECT_EQ(2, detector.r_index_min);
  EXPECT_EQ(8, detector.r_index_max);
  EXPECT_EQ(2, detector.theta_index_min);
  EXPECT_EQ(7, detector.theta_index_max);
}

TEST_F(WorkedCamera, ShapeVerticesOutsideGoToTheNearerEdge)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  // Angle index 35 of 11: 24 bins past the end but 27.8 before the start across the wrap, so
  // the last column; the range beyond the grid is clamped to the last row.
  ASSERT_TRUE(detector.setShape(polygonOf({at(3.55, 10.0, 0.0), cell(5, 5, 0.0)})));
  EXPECT_EQ(10, detector.theta_index_max);
  EXPECT_EQ(5, detector.theta_index_min);
  EXPECT_EQ(11, detector.r_index_max);
  EXPECT_EQ(5, detector.r_index_min);

  detector.clear();
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  // Angle index 55: 44 past the end, 7.8 before the start, so column 0; a vertex nearer than
  // r_min goes to row 0.
  ASSERT_TRUE(detector.setShape(polygonOf({at(5.55, -0.3, 0.0), cell(6, 6, 0.0)})));
  EXPECT_EQ(0, detector.theta_index_min);
  EXPECT_EQ(6, detector.theta_index_max);
  EXPECT_EQ(0, detector.r_index_min);
  EXPECT_EQ(6, detector.r_index_max);
}

TEST_F(WorkedCamera, ShapeIgnoresVerticesWithoutPosition)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  auto polygon = polygonOf({cell(3, 3, 0.0), cell(4, 5, 0.0)});
  geometry_msgs::msg::Point32 broken;
  broken.x = std::nanf("");
  broken.y = 1.0f;
  polygon.points.push_back(broken);
  ASSERT_TRUE(detector.setShape(polygon));
  EXPECT_EQ(3, detector.r_index_min);
  EXPECT_EQ(4, detector.r_index_max);
  EXPECT_EQ(3, detector.theta_index_min);
  EXPECT_EQ(5, detector.theta_index_max);
}

TEST_F(WorkedCamera, BinningKeepsTheHighestSlopePerCell)
{
  pose_and_shape({cell(0, 0, 0.0), cell(11, 10, 0.0)});
  const auto first = cloudOf({
      cell(4, 3, 0.1),
      cell(4, 3, 0.3),
      cell(4, 3, -0.2),
      cell(0, 10, -0.05),
      at(0.35, -0.2, 0.0),  // nearer than r_min
      at(0.35, 3.0, 0.0),   // beyond the last range bin
      at(-0.3, 1.0, 0.0),   // right of the view
  });
  auto second = std::make_shared<FrustumDetector::Cloud>();
  second->push_back(toPcl(cell(11, 0, 0.2)));
  ASSERT_TRUE(detector.setInputCloudList({first, nullptr, second}));
  EXPECT_EQ(2, detector.input_cloud_count);
  EXPECT_EQ(5, detector.reference_point_count);
  EXPECT_NEAR(0.3, detector.slope_grid(4, 3), 1e-5);
  EXPECT_NEAR(-0.05, detector.slope_grid(0, 10), 1e-5);
  EXPECT_NEAR(0.2, detector.slope_grid(11, 0), 1e-5);
  int finite = 0;
  for (Eigen::Index k = 0; k < detector.slope_grid.size(); ++k) {
    finite += std::isfinite(detector.slope_grid.data()[k]) ? 1 : 0;
  }
  EXPECT_EQ(3, finite);
  // Column-major: one bearing is contiguous.
  EXPECT_NEAR(0.3, detector.slope_grid.data()[3 * 12 + 4], 1e-5);
}

TEST_F(WorkedCamera, BinningMatricesCountsOneCloudEach)
{
  pose_and_shape({cell(0, 0, 0.0), cell(11, 10, 0.0)});
  FrustumDetector::PointMatrix points(3, 2);
  points.col(0) = cell(2, 2, 0.25).cast<float>();
  points.col(1) = cell(2, 2, 0.15).cast<float>();
  detector.addInputCloud(points);
  detector.addInputCloud(FrustumDetector::PointMatrix(3, 0));
  EXPECT_EQ(2, detector.input_cloud_count);
  EXPECT_EQ(2, detector.reference_point_count);
  EXPECT_NEAR(0.25, detector.slope_grid(2, 2), 1e-5);
}

TEST_F(WorkedCamera, PointAboveTheCameraHasNoSlopeAndIsNotBinned)
{
  FrustumDetector near_detector(makeCameraInfo(), 0.0f, 3.0f, 0.1f, 0.25f, distinctStrategy());
  ASSERT_TRUE(near_detector.setTrans(pose.transform()));
  EXPECT_FLOAT_EQ(0.0f, near_detector.r_min);
  auto cloud = cloudOf({{pose.x, pose.y, 2.0}, {pose.x, pose.y, pose.height}});
  ASSERT_TRUE(near_detector.setInputCloud(cloud));
  EXPECT_EQ(0, near_detector.reference_point_count);
  EXPECT_TRUE((near_detector.slope_grid.array() == -kInf).all());
}

TEST_F(WorkedCamera, FixSettingCropsToTheWindow)
{
  pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0)});
  ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(4, 3, 0.1), cell(2, 7, 0.7), cell(0, 5, 0.9)})));
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_TRUE(detector.ready);
  EXPECT_EQ(7, detector.slope_grid.rows());
  EXPECT_EQ(6, detector.slope_grid.cols());
  EXPECT_NEAR(rMin() + 0.5, detector.r_min, 1e-5);
  EXPECT_NEAR(thetaMin() + 0.2, detector.theta_min, 1e-5);
  EXPECT_NEAR(rMax(), detector.r_max, 1e-5);
  EXPECT_NEAR(thetaMax(), detector.theta_max, 1e-5);
  EXPECT_NEAR(0.1, detector.slope_grid(2, 1), 1e-5);
  EXPECT_NEAR(0.7, detector.slope_grid(0, 5), 1e-5);
  // The point outside the window was binned (it counts) but is cropped away.
  EXPECT_EQ(3, detector.reference_point_count);
  int finite = 0;
  for (Eigen::Index k = 0; k < detector.slope_grid.size(); ++k) {
    finite += std::isfinite(detector.slope_grid.data()[k]) ? 1 : 0;
  }
  EXPECT_EQ(2, finite);

  // A second call must not crop again.
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(7, detector.slope_grid.rows());
  EXPECT_EQ(6, detector.slope_grid.cols());
  EXPECT_NEAR(rMin() + 0.5, detector.r_min, 1e-5);
}

TEST_F(WorkedCamera, EmptyPolygonEmptiesTheGrid)
{
  pose_and_shape({});
  ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(4, 3, 0.1)})));
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(0, detector.slope_grid.size());
  const auto inside = toPcl(pose.toGlobal(0.0, 0.0, 1.5));
  ASSERT_TRUE(detector.isInsideFrustum(inside));
  EXPECT_EQ(11, detector.checkPointFrustumStatus(inside, false));

  // With nothing binned, the same point has no reference.
  detector.clear();
  pose_and_shape({});
  ASSERT_TRUE(detector.setInputCloud(cloudOf({at(0.35, 5.0, 0.0)})));
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(10, detector.checkPointFrustumStatus(inside, false));
}

TEST_F(WorkedCamera, EmptyPolygonKeepsAOneByOneGrid)
{
  FrustumDetector coarse(makeCameraInfo(), 0.5f, 3.0f, 10.0f, 100.0f, distinctStrategy());
  ASSERT_TRUE(coarse.setTrans(pose.transform()));
  ASSERT_EQ(1, coarse.slope_grid.size());
  ASSERT_TRUE(coarse.setShape(geometry_msgs::msg::Polygon()));
  ASSERT_TRUE(coarse.fixSetting());
  EXPECT_EQ(1, coarse.slope_grid.rows());
  EXPECT_EQ(1, coarse.slope_grid.cols());
}

// The grid after the crop, in original cell indices: (i 4, j 3) slope 0.1, (i 2, j 5) slope 0.5;
// columns 4 and 6 hold nothing. Window rows 2-8, columns 2-7.
class WorkedCameraReady : public WorkedCamera
{
protected:
  void SetUp() override
  {
    WorkedCamera::SetUp();
    pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0)});
    EXPECT_EQ(-1, detector.checkPointFrustumStatus(toPcl(cell(4, 3, 0.1)), true));
    ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(4, 3, 0.1), cell(2, 5, 0.5)})));
    ASSERT_TRUE(detector.fixSetting());
  }

  int32_t status(int i, int j, double s)
  {
    return detector.checkPointFrustumStatus(toPcl(cell(i, j, s)), true);
  }
};

TEST_F(WorkedCameraReady, SeenInItsOwnCell)
{
  EXPECT_EQ(1, status(4, 3, -3.0));
  EXPECT_EQ(1, status(4, 3, 3.0));
  EXPECT_EQ(1, status(2, 5, 0.0));
}

TEST_F(WorkedCameraReady, OwnCellWinsOverHigherNearerCells)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));  // a new cycle without clear starts fresh
  detector.clear();
  pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0)});
  ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(3, 4, 0.9), cell(6, 4, -0.4)})));
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(1, status(6, 4, 0.0));
  EXPECT_EQ(2, status(7, 4, 0.0));
}

TEST_F(WorkedCameraReady, HiddenBehindANearerPoint)
{
  EXPECT_EQ(2, status(6, 5, 0.4));
  EXPECT_EQ(2, status(6, 5, 0.5));
  EXPECT_EQ(17, status(6, 5, 0.6));
}

TEST_F(WorkedCameraReady, InsideCodesFollowTheColumn)
{
  EXPECT_EQ(16, status(6, 4, 0.0));
  EXPECT_EQ(16, status(6, 6, -1.0));
  EXPECT_EQ(17, status(6, 3, 0.3));
}

TEST_F(WorkedCameraReady, FirstRowWithEmptyCellIsNeverHidden)
{
  // Original row 2 is row 0 after the crop; column 3's point lies farther.
  EXPECT_EQ(17, status(2, 3, -5.0));
  EXPECT_EQ(16, status(2, 4, -5.0));
}

TEST_F(WorkedCameraReady, NearerThanTheGrid)
{
  EXPECT_EQ(13, status(1, 5, 0.0));
  EXPECT_EQ(12, status(1, 4, 0.0));
}

TEST_F(WorkedCameraReady, FartherThanTheGrid)
{
  EXPECT_EQ(2, status(10, 5, 0.4));
  EXPECT_EQ(15, status(10, 5, 0.7));
  EXPECT_EQ(14, status(10, 4, 0.0));
}

TEST_F(WorkedCameraReady, OutsideTheAngleRange)
{
  EXPECT_EQ(11, status(4, 1, 0.0));
  EXPECT_EQ(11, status(4, 9, 0.0));
}

TEST_F(WorkedCameraReady, OutsideTheFrustumUnlessKnownInside)
{
  const auto behind = toPcl(pose.toGlobal(0.0, 0.0, -1.0));
  EXPECT_EQ(0, detector.checkPointFrustumStatus(behind, false));
  const auto too_low = toPcl(cell(4, 3, -0.6));  // below the lower image edge
  EXPECT_FALSE(detector.isInsideFrustum(too_low));
  EXPECT_EQ(0, detector.checkPointFrustumStatus(too_low, false));
  EXPECT_EQ(1, detector.checkPointFrustumStatus(too_low, true));
  const auto seen = toPcl(cell(4, 3, 0.05));
  EXPECT_TRUE(detector.isInsideFrustum(seen));
  EXPECT_EQ(1, detector.checkPointFrustumStatus(seen, false));
}

TEST_F(WorkedCameraReady, MarkerHasTheSectorAndTheBox)
{
  visualization_msgs::msg::Marker marker;
  marker.points.resize(3);
  for (auto & p : marker.points) {
    p.z = 5.0;
  }
  ASSERT_TRUE(detector.getMarker(marker));
  ASSERT_EQ(16u, marker.points.size());
  EXPECT_EQ(12, marker.header.stamp.sec);
  EXPECT_EQ(500u, marker.header.stamp.nanosec);
  for (size_t k = 0; k < 16; ++k) {
    EXPECT_DOUBLE_EQ(k < 3 ? 5.0 : 0.0, marker.points[k].z) << k;
  }
  const double t0 = thetaMin() + 0.2;
  const double t1 = t0 + 6 * 0.1;
  const double r0 = rMin() + 0.5;
  const double r1 = r0 + 7 * 0.25;
  const Eigen::Vector3d s[4] = {
      pose.polar(t0, r0, 0.0),
      pose.polar(t1, r0, 0.0),
      pose.polar(t1, r1, 0.0),
      pose.polar(t0, r1, 0.0)};
  const int order[8] = {0, 1, 1, 2, 2, 3, 3, 0};
  for (int k = 0; k < 8; ++k) {
    EXPECT_NEAR(s[order[k]].x(), marker.points[k].x, 1e-4) << k;
    EXPECT_NEAR(s[order[k]].y(), marker.points[k].y, 1e-4) << k;
  }
  const auto & b = detector.frustum_box;
  const float box[8][2] = {
      {b.x_min, b.y_min},
      {b.x_min, b.y_max},
      {b.x_min, b.y_max},
      {b.x_max, b.y_max},
      {b.x_max, b.y_max},
      {b.x_max, b.y_min},
      {b.x_max, b.y_min},
      {b.x_min, b.y_min}};
  for (int k = 0; k < 8; ++k) {
    EXPECT_FLOAT_EQ(box[k][0], static_cast<float>(marker.points[8 + k].x)) << k;
    EXPECT_FLOAT_EQ(box[k][1], static_cast<float>(marker.points[8 + k].y)) << k;
  }
}

TEST_F(WorkedCameraReady, ClearResetsTheCycle)
{
  detector.clear();
  EXPECT_FALSE(detector.has_transform);
  EXPECT_FALSE(detector.ready);
  EXPECT_EQ(0, detector.reference_point_count);
  EXPECT_EQ(0, detector.input_cloud_count);
  EXPECT_EQ(0, detector.stamp.nanoseconds());
  EXPECT_EQ(kInf, detector.theta_min);
  EXPECT_EQ(-kInf, detector.r_max);
  EXPECT_EQ(kInf, detector.frustum_box.x_max);
  // The grid stays until the next pose.
  EXPECT_EQ(42, detector.slope_grid.size());
  EXPECT_EQ(-1, status(4, 3, 0.1));
}

TEST_F(WorkedCameraReady, UseAfterClearWithoutPoseEndsQuietly)
{
  detector.clear();
  // Out of order: binning and finalising without a pose must neither hang nor touch the grid.
  ASSERT_TRUE(detector.setInputCloud(cloudOf({cell(4, 3, 0.1)})));
  EXPECT_EQ(1, detector.input_cloud_count);
  EXPECT_EQ(0, detector.reference_point_count);
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(10, detector.checkPointFrustumStatus(toPcl(cell(4, 3, 0.1)), true));
  EXPECT_EQ(0, detector.checkPointFrustumStatus(toPcl(cell(4, 3, 0.1)), false));

  // Without any cloud the query reaches the polar cell, which has no angle origin.
  detector.clear();
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(-1, detector.reference_point_count);
  EXPECT_EQ(11, detector.checkPointFrustumStatus(toPcl(cell(4, 3, 0.1)), true));
}

class CycleEdgeCases : public WorkedCamera
{
};

TEST_F(CycleEdgeCases, NoInputCloudGivesMinusOneReferencePoints)
{
  pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0)});
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(-1, detector.reference_point_count);
  EXPECT_EQ(16, detector.checkPointFrustumStatus(toPcl(cell(5, 4, 0.0)), true));
  EXPECT_EQ(12, detector.checkPointFrustumStatus(toPcl(cell(1, 4, 0.0)), true));
  EXPECT_EQ(14, detector.checkPointFrustumStatus(toPcl(cell(10, 4, 0.0)), true));
}

TEST_F(CycleEdgeCases, CloudsOutsideTheGridGiveNoReference)
{
  pose_and_shape({cell(2, 2, 0.0), cell(8, 7, 0.0)});
  ASSERT_TRUE(detector.setInputCloud(cloudOf({at(-1.0, 1.0, 0.0), at(0.5, 10.0, 0.0)})));
  ASSERT_TRUE(detector.fixSetting());
  EXPECT_EQ(0, detector.reference_point_count);
  EXPECT_EQ(10, detector.checkPointFrustumStatus(toPcl(cell(5, 4, 0.0)), true));
  EXPECT_EQ(10, detector.checkPointFrustumStatus(toPcl(cell(1, 9, 0.0)), true));
  // The inside test still comes first.
  EXPECT_EQ(0, detector.checkPointFrustumStatus(toPcl(pose.toGlobal(0, 0, -2.0)), false));
}

class FrustumInsideTest : public WorkedCamera
{
protected:
  bool inside(double u, double v, double depth)
  {
    const double qx = (u - 319.5) * depth / 525.0;
    const double qy = (v - 239.5) * depth / 525.0;
    return detector.isInsideFrustum(toPcl(pose.toGlobal(qx, qy, depth)));
  }
};

TEST_F(FrustumInsideTest, ImageBoundsAndViewDistances)
{
  ASSERT_TRUE(detector.setTrans(pose.transform()));
  EXPECT_TRUE(inside(320.0, 240.0, 1.5));
  EXPECT_TRUE(inside(0.5, 0.5, 2.0));
  EXPECT_TRUE(inside(639.5, 479.5, 2.0));
  EXPECT_FALSE(inside(-0.5, 240.0, 2.0));
  EXPECT_FALSE(inside(640.5, 240.0, 2.0));
  EXPECT_FALSE(inside(320.0, -0.5, 2.0));
  EXPECT_FALSE(inside(320.0, 480.5, 2.0));
  EXPECT_TRUE(inside(320.0, 240.0, 0.51));
  EXPECT_FALSE(inside(320.0, 240.0, 0.49));
  EXPECT_TRUE(inside(320.0, 240.0, 2.99));
  EXPECT_FALSE(inside(320.0, 240.0, 3.01));
  EXPECT_FALSE(inside(320.0, 240.0, -1.0));
}

class CrossFrustumTest : public WorkedCamera
{
protected:
  void SetUp() override
  {
    WorkedCamera::SetUp();
    ASSERT_TRUE(detector.setTrans(pose.transform()));
    box = detector.frustum_box;
    LogCapture::instance().clear();
  }
  FrustumDetector::Box box{};
};

TEST_F(CrossFrustumTest, OverlapAndTouching)
{
  EXPECT_TRUE(detector.isCrossFrustum(box.x_min + 0.1f, box.x_min + 0.2f, box.y_min, box.y_max));
  // Touching edges count.
  EXPECT_TRUE(detector.isCrossFrustum(box.x_max, box.x_max + 1.0f, box.y_min, box.y_max));
  EXPECT_TRUE(detector.isCrossFrustum(box.x_min - 1.0f, box.x_min, box.y_max, box.y_max + 1.0f));
  EXPECT_FALSE(detector.isCrossFrustum(
      std::nextafter(box.x_max, kInf), box.x_max + 1.0f, box.y_min, box.y_max));
  EXPECT_FALSE(detector.isCrossFrustum(box.x_min, box.x_max, box.y_max + 0.5f, box.y_max + 1.0f));
  // A box around the whole frustum.
  EXPECT_TRUE(detector.isCrossFrustum(-100.0f, 100.0f, -100.0f, 100.0f));
  EXPECT_EQ(0u, LogCapture::instance().total());
}

TEST_F(CrossFrustumTest, DegenerateAndSlightlyInvertedBoxesAreAccepted)
{
  const float cx = 0.5f * (box.x_min + box.x_max);
  const float cy = 0.5f * (box.y_min + box.y_max);
  EXPECT_TRUE(detector.isCrossFrustum(cx, cx, cy, cy));
  EXPECT_TRUE(detector.isCrossFrustum(cx + 5e-7f, cx, cy, cy));
  EXPECT_EQ(0u, LogCapture::instance().total());
}

TEST_F(CrossFrustumTest, InvertedBoxIsRefusedWithRecord)
{
  EXPECT_FALSE(detector.isCrossFrustum(3.0f, 2.0f, -1.0f, 1.0f));
  EXPECT_FALSE(detector.isCrossFrustum(-100.0f, 100.0f, 1.0f, 0.5f));
  EXPECT_EQ(
      1u,
      LogCapture::instance().count(
          spdlog::level::warn,
          "FrustumDetector::isCrossFrustum input may be wrong, x_min 3, x_max 2, y_min -1, y_max "
          "1"));
  EXPECT_EQ(2u, LogCapture::instance().total());
}

// A camera looking along the bearing pi sees both sides of the +-pi cut.
TEST(FrustumAcrossPi, AngleRangeIsContinuousAndNonNegative)
{
  for (double yaw : {kPi, -kPi + 0.2, kPi - 0.3}) {
    const CameraPose pose{0.0, 0.0, 0.5, yaw};
    FrustumDetector d(makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, distinctStrategy());
    ASSERT_TRUE(d.setTrans(pose.transform()));
    double expected_min = yaw - kRight;
    while (expected_min < 0.0) {
      expected_min += 2.0 * kPi;
    }
    EXPECT_GE(d.theta_min, 0.0f) << yaw;
    EXPECT_NEAR(expected_min, d.theta_min, 1e-5) << yaw;
    EXPECT_NEAR(expected_min + kLeft + kRight, d.theta_max, 1e-5) << yaw;
    EXPECT_EQ(11, d.slope_grid.cols()) << yaw;

    // Points on both sides of the cut land in the columns their bearing offset says.
    geometry_msgs::msg::Polygon all = polygonOf(
        {pose.polar(expected_min + 0.05, 0.7, 0.0), pose.polar(expected_min + 1.05, 3.4, 0.0)});
    ASSERT_TRUE(d.setShape(all));
    EXPECT_EQ(0, d.theta_index_min);
    EXPECT_EQ(10, d.theta_index_max);
    const double b_low = expected_min + 0.15;   // column 1
    const double b_high = expected_min + 0.95;  // column 9
    ASSERT_TRUE(
        d.setInputCloud(cloudOf({pose.polar(b_low, 2.0, 0.7), pose.polar(b_high, 2.0, 0.9)})));
    ASSERT_TRUE(d.fixSetting());
    EXPECT_EQ(2, d.reference_point_count);
    EXPECT_NEAR(0.1, d.slope_grid.col(1).maxCoeff(), 1e-5) << yaw;
    EXPECT_NEAR(0.2, d.slope_grid.col(9).maxCoeff(), 1e-5) << yaw;
    EXPECT_EQ(1, d.checkPointFrustumStatus(toPcl(pose.polar(b_high, 2.0, 0.1)), true));
    EXPECT_EQ(2, d.checkPointFrustumStatus(toPcl(pose.polar(b_high, 3.2, 0.5)), true));
  }
}

TEST(FrustumPoseInput, ZeroQuaternionFallsBackToIdentity)
{
  LogCapture::instance().clear();
  FrustumDetector d(makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, distinctStrategy());
  geometry_msgs::msg::TransformStamped t;
  t.transform.rotation.w = 0.0;
  t.transform.translation.x = 1.0;
  ASSERT_TRUE(d.setTrans(t));
  EXPECT_FLOAT_EQ(1.0f, d.rotation[0]);
  EXPECT_FLOAT_EQ(1.0f, d.rotation[4]);
  EXPECT_FLOAT_EQ(0.0f, d.rotation[1]);
  EXPECT_TRUE(std::isfinite(d.theta_min));
  EXPECT_EQ(1u, LogCapture::instance().total());
}

TEST(FrustumPoseInput, UncalibratedCameraGivesAnEmptyGrid)
{
  sensor_msgs::msg::CameraInfo info = makeCameraInfo();
  info.p = {};  // all zero: no focal length
  FrustumDetector d(info, 0.5f, 3.0f, 0.1f, 0.25f, distinctStrategy());
  ASSERT_TRUE(d.setTrans(CameraPose{0.0, 0.0, 0.5, 0.0}.transform()));
  EXPECT_EQ(0, d.slope_grid.size());
  ASSERT_TRUE(d.setShape(polygonOf({{1.0, 0.0, 0.0}})));
  ASSERT_TRUE(d.setInputCloud(cloudOf({{1.0, 0.0, 0.0}})));
  ASSERT_TRUE(d.fixSetting());
  EXPECT_EQ(0, d.checkPointFrustumStatus(pcl::PointXYZ(1.0f, 0.0f, 0.5f), false));
}

}  // namespace

namespace {

// The binning and the status rules evaluated point by point in the plainest way, to hold the
// detector's optimised loops to the same answers, bit for bit.
struct DirectFormula
{
  static float fold(float a)
  {
    double v = a;
    while (v >= 6.283185307179586) {
      v -= 6.283185307179586;
    }
    while (v < 0.0) {
      v += 6.283185307179586;
    }
    return static_cast<float>(v);
  }

  static int32_t bin(
      const FrustumDetector & d,
      Eigen::MatrixXf & grid,
      const std::vector<Eigen::Vector3f> & points)
  {
    int32_t count = 0;
    const auto n_r = static_cast<int32_t>(grid.rows());
    const auto n_t = static_cast<int32_t>(grid.cols());
    for (const auto & p : points) {
      const float dx = p.x() - d.translation[0];
      const float dy = p.y() - d.translation[1];
      const float a = fold(atan2f(dy, dx) - d.theta_min);
      const float dist = sqrtf(dx * dx + dy * dy);
      const float rho = dist - d.r_min;
      if (!(a < static_cast<float>(n_t) * d.theta_resolution && rho >= 0.0f &&
            rho < static_cast<float>(n_r) * d.r_resolution)) {
        continue;
      }
      const float s = (p.z() - d.translation[2]) / dist;
      if (!std::isfinite(s)) {
        continue;
      }
      const int32_t j = std::min(static_cast<int32_t>(std::floor(a / d.theta_resolution)), n_t - 1);
      const int32_t i = std::min(static_cast<int32_t>(std::floor(rho / d.r_resolution)), n_r - 1);
      grid(i, j) = std::max(grid(i, j), s);
      ++count;
    }
    return count;
  }

  // Points whose coordinates lie a few float steps around the points at bearing b, at several
  // distances and heights, so that their float bearings take every value near b.
  static std::vector<Eigen::Vector3f> pointsAroundBearing(const CameraPose & pose, double b)
  {
    std::vector<Eigen::Vector3f> points;
    for (const double r : {0.6, 1.3, 2.2, 3.1}) {
      const Eigen::Vector3f base = pose.polar(b, r, pose.height + 0.3 * (r - 1.5)).cast<float>();
      float x = base.x();
      for (int kx = 0; kx < 12; ++kx) {
        x = std::nextafter(x, -kInf);
      }
      for (int kx = -12; kx <= 12; ++kx, x = std::nextafter(x, kInf)) {
        float y = base.y();
        for (int ky = 0; ky < 12; ++ky) {
          y = std::nextafter(y, -kInf);
        }
        for (int ky = -12; ky <= 12; ++ky, y = std::nextafter(y, kInf)) {
          points.emplace_back(x, y, base.z());
        }
      }
    }
    return points;
  }

  // Whether "a below the grid's angular extent" and "floor(a / theta_resolution) below the
  // column count" give different answers for this point.
  static bool extentTestDisagrees(const FrustumDetector & d, const Eigen::Vector3f & p)
  {
    const float dx = p.x() - d.translation[0];
    const float dy = p.y() - d.translation[1];
    const float a = fold(atan2f(dy, dx) - d.theta_min);
    const auto n = d.slope_grid.cols();
    const bool below_extent = a < static_cast<float>(n) * d.theta_resolution;
    const bool below_count = static_cast<int64_t>(std::floor(a / d.theta_resolution)) < n;
    return below_extent != below_count;
  }

  static int32_t status(const FrustumDetector & d, const Eigen::Vector3f & p)
  {
    const auto & st = d.strategy;
    if (d.reference_point_count == 0) {
      return st.no_reference_point;
    }
    const auto & g = d.slope_grid;
    const float dx = p.x() - d.translation[0];
    const float dy = p.y() - d.translation[1];
    const float a = fold(atan2f(dy, dx) - d.theta_min);
    const float dist = sqrtf(dx * dx + dy * dy);
    const auto j = static_cast<int64_t>(std::floor(a / d.theta_resolution));
    const auto i = static_cast<int64_t>(std::floor((dist - d.r_min) / d.r_resolution));
    const float s = (p.z() - d.translation[2]) / dist;
    if (j < 0 || j >= g.cols()) {
      return st.out_of_theta;
    }
    float column = -kInf;
    for (Eigen::Index r = 0; r < g.rows(); ++r) {
      column = std::max(column, g(r, j));
    }
    const bool empty = std::isinf(column);
    if (i < 0) {
      return empty ? st.near_range_without_point : st.near_range_with_point;
    }
    if (i < g.rows()) {
      if (std::isfinite(g(i, j))) {
        return 1;
      }
      float nearer = -kInf;
      for (int64_t r = 0; r < i; ++r) {
        nearer = std::max(nearer, g(r, j));
      }
      if (i > 0 && nearer >= s) {
        return 2;
      }
      return empty ? st.inside_without_point : st.inside_with_point;
    }
    if (empty) {
      return st.far_range_without_point;
    }
    return column >= s ? 2 : st.far_range_with_point;
  }
};

struct DifferentialCase
{
  double yaw;
  float theta_resolution;
  float r_resolution;
  // The grid's far angle edge has float steps where the extent test and the column rule part.
  bool edge_steps_part{false};
};

void PrintTo(const DifferentialCase & c, std::ostream * os)
{
  *os << "yaw " << c.yaw << ", bins " << c.theta_resolution << " rad x " << c.r_resolution << " m";
  if (c.edge_steps_part) {
    *os << ", parting edge";
  }
}

class FrustumDetectorDifferential : public ::testing::TestWithParam<DifferentialCase>
{
};

TEST_P(FrustumDetectorDifferential, OptimisedLoopsGiveTheDirectAnswers)
{
  const DifferentialCase c = GetParam();
  const CameraPose pose{-3.0, 4.0, 0.7, c.yaw};
  FrustumDetector d(
      makeCameraInfo(), 0.3f, 4.0f, c.theta_resolution, c.r_resolution, distinctStrategy());
  ASSERT_TRUE(d.setTrans(pose.transform()));
  const float t_min = d.theta_min;
  const auto n_t = d.slope_grid.cols();
  const auto n_r = d.slope_grid.rows();
  ASSERT_GT(n_t, 0);
  // The window drops the first two columns (the angle origin moves up by two bins, past 2 pi
  // for some poses) and keeps the rest.
  const double first = std::min<double>(2.5, static_cast<double>(n_t) - 0.5);
  ASSERT_TRUE(d.setShape(polygonOf(
      {pose.polar(t_min + first * c.theta_resolution, 0.2, 0.0),
       pose.polar(t_min + (n_t - 0.5) * c.theta_resolution, 3.5, 0.0)})));

  std::mt19937 rng(11);
  std::uniform_real_distribution<double> bearing(-0.8, 0.8);
  std::uniform_real_distribution<double> range(0.0, 5.0);
  std::uniform_real_distribution<double> height(-0.5, 2.0);
  std::uniform_real_distribution<double> jitter(-2e-6, 2e-6);
  std::vector<Eigen::Vector3f> points;
  for (int k = 0; k < 60000; ++k) {
    points.push_back(pose.polar(pose.yaw + bearing(rng), range(rng), height(rng)).cast<float>());
  }
  // Points on and right beside every bin edge, and a few with no defined slope or position.
  for (Eigen::Index j = 0; j <= n_t; ++j) {
    for (int k = 0; k < 40; ++k) {
      const double b = t_min + static_cast<double>(j) * c.theta_resolution + jitter(rng);
      points.push_back(pose.polar(b, range(rng), height(rng)).cast<float>());
    }
  }
  for (Eigen::Index i = 0; i <= n_r; ++i) {
    points.push_back(pose.polar(pose.yaw, d.r_min + i * c.r_resolution, 1.0).cast<float>());
  }
  points.emplace_back(static_cast<float>(pose.x), static_cast<float>(pose.y), 1.0f);
  points.emplace_back(std::nanf(""), 1.0f, 1.0f);
  points.emplace_back(1.0f, 1.0f, kInf);

  Eigen::MatrixXf expected = d.slope_grid;
  const int32_t expected_count = DirectFormula::bin(d, expected, points);
  FrustumDetector::PointMatrix matrix(3, static_cast<Eigen::Index>(points.size()));
  for (size_t k = 0; k < points.size(); ++k) {
    matrix.col(static_cast<Eigen::Index>(k)) = points[k];
  }
  d.addInputCloud(matrix);
  ASSERT_EQ(expected_count, d.reference_point_count);
  ASSERT_EQ(expected.rows(), d.slope_grid.rows());
  for (Eigen::Index k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(expected.data()[k], d.slope_grid.data()[k]) << "cell " << k;
  }

  // The same cloud as a PCL cloud gives the same grid.
  FrustumDetector again(
      makeCameraInfo(), 0.3f, 4.0f, c.theta_resolution, c.r_resolution, distinctStrategy());
  ASSERT_TRUE(again.setTrans(pose.transform()));
  auto cloud = std::make_shared<FrustumDetector::Cloud>();
  for (const auto & p : points) {
    cloud->push_back(pcl::PointXYZ(p.x(), p.y(), p.z()));
  }
  ASSERT_TRUE(again.setInputCloud(cloud));
  EXPECT_EQ(expected_count, again.reference_point_count);
  EXPECT_TRUE((again.slope_grid.array() == d.slope_grid.array()).all());

  ASSERT_TRUE(d.fixSetting());
  EXPECT_NEAR(t_min + std::floor(first) * c.theta_resolution, d.theta_min, 1e-5);
  std::uniform_real_distribution<double> query_height(-1.0, 2.5);
  for (size_t k = 0; k < points.size(); ++k) {
    Eigen::Vector3f p = points[k];
    if (k % 2 == 1) {
      p.z() = static_cast<float>(query_height(rng));
    }
    const pcl::PointXYZ q(p.x(), p.y(), p.z());
    ASSERT_EQ(DirectFormula::status(d, p), d.checkPointFrustumStatus(q, true)) << "point " << k;
    const int32_t expected_status = d.isInsideFrustum(q) ? DirectFormula::status(d, p) : 0;
    ASSERT_EQ(expected_status, d.checkPointFrustumStatus(q, false)) << "point " << k;
  }

  // Points within a few float steps of the grid's far angle edge: there the column rule
  // floor(a / theta_resolution) >= n and a comparison of a with the grid's extent can disagree.
  const std::vector<Eigen::Vector3f> edge = DirectFormula::pointsAroundBearing(
      pose, static_cast<double>(d.theta_min) + d.slope_grid.cols() * c.theta_resolution);
  int disagreeing = 0;
  for (size_t k = 0; k < edge.size(); ++k) {
    disagreeing += DirectFormula::extentTestDisagrees(d, edge[k]) ? 1 : 0;
    const pcl::PointXYZ q(edge[k].x(), edge[k].y(), edge[k].z());
    ASSERT_EQ(DirectFormula::status(d, edge[k]), d.checkPointFrustumStatus(q, true))
        << "edge point " << k;
  }
  if (c.edge_steps_part) {
    EXPECT_GT(disagreeing, 0);
  }
}

// A grid that spans more than a full turn (two poses without a clear): its columns beyond the
// wrap exist, so a bearing just past the angle origin must still land in column 0 and one just
// before it in the last column a folded bearing reaches, whichever way the approximate bearing
// rounds.
TEST(FrustumWiderThanATurn, BearingsAtTheOriginStayInColumnZero)
{
  constexpr float kThetaResolution = 0.1f;
  // The first pose's bearings need no shift; the second's, across the cut, shift the origin by
  // 2 pi and widen the range beyond a turn.
  const CameraPose first{0.5, -0.25, 0.6, kPi - 0.05};
  const CameraPose second{0.5, -0.25, 0.6, -kPi + 0.05};
  FrustumDetector d(makeCameraInfo(), 0.5f, 3.0f, kThetaResolution, 0.25f, distinctStrategy());
  ASSERT_TRUE(d.setTrans(first.transform()));
  ASSERT_TRUE(d.setTrans(second.transform()));
  const double origin = d.theta_min;
  ASSERT_GT((d.theta_max - d.theta_min), 2.0 * kPi);
  // The window runs from column 0 to the last column a folded bearing reaches.
  ASSERT_TRUE(d.setShape(polygonOf(
      {first.polar(origin + 0.5 * kThetaResolution, 1.0, 0.0),
       first.polar(origin - 0.5 * kThetaResolution, 1.0, 0.0)})));
  // Column 0 holds a point in every range row; the last column holds none.
  std::vector<Eigen::Vector3d> seen;
  for (int i = 0; i < d.slope_grid.rows(); ++i) {
    seen.push_back(
        first.polar(origin + 0.5 * kThetaResolution, d.r_min + (i + 0.5) * 0.25, first.height));
  }
  ASSERT_TRUE(d.setInputCloud(cloudOf(seen)));
  ASSERT_TRUE(d.fixSetting());
  ASSERT_GT(d.slope_grid.cols() * kThetaResolution, 2.0 * kPi);
  ASSERT_EQ(0, d.theta_index_min);

  std::mt19937 rng(5);
  std::uniform_real_distribution<double> offset(-3e-6, 3e-6);
  std::uniform_real_distribution<double> range(0.6, 3.0);
  std::uniform_real_distribution<double> height(0.0, 1.2);
  int in_column_zero = 0;
  for (int k = 0; k < 20000; ++k) {
    const Eigen::Vector3f p =
        first.polar(origin + offset(rng), range(rng), height(rng)).cast<float>();
    in_column_zero += DirectFormula::status(d, p) == 1 ? 1 : 0;
    ASSERT_EQ(
        DirectFormula::status(d, p),
        d.checkPointFrustumStatus(pcl::PointXYZ(p.x(), p.y(), p.z()), true))
        << "point " << k << " at bearing offset " << std::atan2(p.y() - first.y, p.x() - first.x);
  }
  EXPECT_GT(in_column_zero, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Poses,
    FrustumDetectorDifferential,
    ::testing::Values(
        DifferentialCase{0.6, 0.1f, 0.25f},
        DifferentialCase{kPi, 0.0175f, 0.05f},
        DifferentialCase{-kPi + 0.1, 0.0881f, 0.05f},
        DifferentialCase{2.0, 0.001f, 0.01f},
        DifferentialCase{-1.2, 0.3f, 0.5f},
        DifferentialCase{-0.1, 0.4f, 0.3f},
        DifferentialCase{0.6, 0.0349100009f, 0.05f, true},
        DifferentialCase{kPi, 0.0810599998f, 0.05f, true},
        DifferentialCase{-1.2, 0.156319991f, 0.05f, true}));

}  // namespace
