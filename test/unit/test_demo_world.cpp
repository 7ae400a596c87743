// The demo's scripted room, its ray-cast depth cameras and the semantic-grid picture.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "demo_world.hpp"
#include "semantic_grid_image.hpp"
#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace {

using demo::CameraModel;
using demo::DemoWorld;

const Eigen::Vector3d kDown(0.0, 0.0, -1.0);

TEST(DemoWorldTest, RaysMeetTheScriptedSurfaces)
{
  const DemoWorld world;
  struct Case
  {
    const char * what;
    Eigen::Vector3d origin;
    Eigen::Vector3d direction;
    double time;
    std::optional<int32_t> code;
    double distance;
  };
  const std::vector<Case> cases = {
      {"bare floor", {-2.0, -2.0, 1.0}, kDown, 0.0, demo::kFloor, 1.0},
      {"carpet", {0.0, 1.0, 0.5}, kDown, 0.0, demo::kCarpet, 0.5},
      {"stain", {2.1, -0.8, 0.3}, kDown, 0.0, demo::kStain, 0.3},
      {"table top", {1.0, 0.0, 2.0}, kDown, 0.0, demo::kTable, 1.25},
      {"chair", {1.0, 0.6, 1.0}, kDown, 0.0, demo::kChair, 0.1},
      {"east wall", {2.0, 0.0, 1.0}, {1.0, 0.0, 0.0}, 0.0, demo::kWall, 3.5},
      {"wall out of range", {1.0, 2.0, 1.0}, {1.0, 0.0, 0.0}, 0.0, std::nullopt, 0.0},
      {"upwards: nothing", {1.0, 2.0, 1.0}, {0.0, 0.0, 1.0}, 0.0, std::nullopt, 0.0},
      // The person walks along y = -0.9 from x = -3.2 (4 s) to 5.2 (16 s): at 10 s they are at 1.0.
      {"person in the room", {1.0, -3.0, 1.0}, {0.0, 1.0, 0.0}, 10.0, demo::kPerson, 1.88},
      {"person has left", {1.0, -3.0, 1.0}, {0.0, 1.0, 0.0}, 20.0, std::nullopt, 0.0},
      {"person not yet there", {1.0, -3.0, 1.0}, {0.0, 1.0, 0.0}, 2.0, std::nullopt, 0.0},
  };
  for (const auto & c : cases) {
    const auto hit = world.castRay(c.origin, c.direction.normalized(), 4.0, c.time);
    ASSERT_EQ(hit.has_value(), c.code.has_value()) << c.what;
    if (hit) {
      EXPECT_EQ(hit->code, *c.code) << c.what;
      EXPECT_NEAR(hit->distance, c.distance, 1e-9) << c.what;
    }
  }
}

// Every rendered point, taken back to the map frame, lies on the surface of its class where the
// ray of its pixel meets the world, within the depth noise.
TEST(DemoWorldTest, RenderedPointsLieOnTheSurfacesTheyAreLabelledWith)
{
  const DemoWorld world;
  CameraModel camera = demo::demoCameras(64, 48)[1];  // the left camera: table, chair, carpet
  const Eigen::Isometry3d optical_pose = demo::toIsometry(demo::Pose2D{1.0, 2.0, M_PI}) *
                                         camera.base_to_link * CameraModel::linkToOptical();
  // At 12.1 s the person stands at (2.5, -0.9), in view beside the table.
  const double time = 12.1;
  const auto cloud = demo::renderCloud(world, camera, optical_pose, time, 7);

  EXPECT_EQ(cloud.sequence, 7u);
  ASSERT_EQ(cloud.polygon.points.size(), 8u);
  EXPECT_FLOAT_EQ(cloud.polygon.points[0].z, camera.min_range);
  EXPECT_FLOAT_EQ(cloud.polygon.points[7].z, camera.max_range);
  std::size_t total = 0;
  std::vector<int32_t> codes;
  for (const auto & element : cloud.semantic_clouds) {
    codes.push_back(element.semantic_id);
    sensor_msgs::PointCloud2ConstIterator<float> x(element.points, "x");
    sensor_msgs::PointCloud2ConstIterator<float> y(element.points, "y");
    sensor_msgs::PointCloud2ConstIterator<float> z(element.points, "z");
    const std::size_t count = element.points.width * element.points.height;
    for (std::size_t i = 0; i < count; ++i, ++x, ++y, ++z) {
      const Eigen::Vector3d point(*x, *y, *z);
      ASSERT_GE(point.z(), camera.min_range - 0.0015);
      const Eigen::Vector3d ray = point / point.z();
      const auto hit = world.castRay(
          optical_pose.translation(), optical_pose.linear() * ray, camera.max_range, time);
      ASSERT_TRUE(hit.has_value());
      EXPECT_EQ(hit->code, element.semantic_id);
      EXPECT_NEAR(point.z(), hit->distance, 0.0016);
    }
    total += count;
  }
  EXPECT_GT(total, 64u * 48u / 2u);
  EXPECT_LE(total, 64u * 48u);
  for (const int32_t expected : {demo::kTable, demo::kChair, demo::kPerson, demo::kFloor}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), expected), codes.end()) << expected;
  }
}

TEST(DemoWorldTest, CameraInfoDescribesTheModel)
{
  const CameraModel camera = demo::demoCameras(320, 240)[0];
  const auto info = demo::makeCameraInfo(camera);
  EXPECT_EQ(info.header.frame_id, "front_camera_optical_frame");
  EXPECT_EQ(info.width, 320u);
  EXPECT_EQ(info.height, 240u);
  EXPECT_DOUBLE_EQ(info.p[0], camera.fx());
  EXPECT_DOUBLE_EQ(info.p[2], 160.0);
  EXPECT_DOUBLE_EQ(info.p[6], 120.0);
  // 87 degrees across 320 pixels.
  EXPECT_NEAR(2.0 * std::atan(160.0 / info.p[0]), camera.horizontal_fov, 1e-12);
}

TEST(SemanticGridImageTest, ColoursFollowTheLegend)
{
  semantic_map::MapTypeAndHeight grid;
  grid.resize(6, 2);
  const float unknown = -std::numeric_limits<float>::infinity();
  struct Case
  {
    uint32_t flags;
    float height;
    cv::Vec3b colour;
  };
  const cv::Vec3b person = demo::kClassColours[0].colour;
  const cv::Vec3b carpet{100, 30, 75};  // half of CARPET's colour: height 0 m
  const std::vector<Case> cases = {
      {0, unknown, demo::kUnknownColour},
      {0, 0.0f, demo::kFreeColour},
      {8 | 1, 2.5f, person},  // PERSON wins over STATIC; 2 m or more is the full colour
      {256, 0.0f, carpet},
      {1u << 20, unknown, demo::kClassColours[6].colour},  // unnamed flag: STATIC
      {2, 1.0f, cv::Vec3b(0, 123, 191)},                   // CHAIR at 1 m: three quarters
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    grid.types[i] = cases[i].flags;  // row y = 0
    grid.heights[i] = cases[i].height;
  }
  const cv::Mat image = demo::renderSemanticGrid(grid);
  ASSERT_EQ(image.rows, 2);
  ASSERT_EQ(image.cols, 6);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    // North up: grid row 0 is the image's last row.
    EXPECT_EQ(image.at<cv::Vec3b>(1, static_cast<int>(i)), cases[i].colour) << i;
    EXPECT_EQ(image.at<cv::Vec3b>(0, static_cast<int>(i)), demo::kUnknownColour) << i;
  }
  // Scaled: each cell a block.
  const cv::Mat large = demo::renderSemanticGrid(grid, 3);
  ASSERT_EQ(large.rows, 6);
  ASSERT_EQ(large.cols, 18);
  EXPECT_EQ(large.at<cv::Vec3b>(5, 8), cases[2].colour);
  EXPECT_EQ(large.at<cv::Vec3b>(3, 6), cases[2].colour);
  EXPECT_EQ(large.at<cv::Vec3b>(2, 8), demo::kUnknownColour);
}

}  // namespace
