// Footprint parsing, padding, placement and radii.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "nav2_costmap_2d/array_parser.hpp"
#include "nav2_costmap_2d/footprint.hpp"

namespace {

using geometry_msgs::msg::Point;

Point makePoint(double x, double y)
{
  Point p;
  p.x = x;
  p.y = y;
  return p;
}

std::vector<Point> square(double half)
{
  return {
      makePoint(half, half),
      makePoint(-half, half),
      makePoint(-half, -half),
      makePoint(half, -half)};
}

TEST(FootprintParsing, ParsesPairs)
{
  std::vector<Point> footprint;
  ASSERT_TRUE(nav2_costmap_2d::makeFootprintFromString(
      "[[0.5, 0.25], [-0.5,0.25],\t[-0.5, -0.25], [0.5, -0.25]]", footprint));
  ASSERT_EQ(footprint.size(), 4u);
  EXPECT_DOUBLE_EQ(footprint[1].x, -0.5);
  EXPECT_DOUBLE_EQ(footprint[1].y, 0.25);
  EXPECT_DOUBLE_EQ(footprint[3].y, -0.25);
}

TEST(FootprintParsing, RejectsFewerThanThreePoints)
{
  std::vector<Point> footprint;
  EXPECT_FALSE(nav2_costmap_2d::makeFootprintFromString("[[1, 1], [2, 2]]", footprint));
  EXPECT_FALSE(nav2_costmap_2d::makeFootprintFromString("[]", footprint));
  EXPECT_TRUE(footprint.empty());
}

TEST(FootprintParsing, RejectsMalformedStrings)
{
  std::vector<Point> footprint;
  EXPECT_FALSE(nav2_costmap_2d::makeFootprintFromString("[[1, 1], [2, 2], [3, 3]", footprint));
  EXPECT_FALSE(nav2_costmap_2d::makeFootprintFromString("[[1, 1, 1], [2, 2], [3, 3]]", footprint));
  EXPECT_FALSE(nav2_costmap_2d::makeFootprintFromString("1, 2, 3", footprint));
}

TEST(FootprintParsing, ParseVVFReportsTheFault)
{
  std::string error;
  auto parsed = nav2_costmap_2d::parseVVF("[[1, 2], [3]]", error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[1], std::vector<float>{3.0f});

  nav2_costmap_2d::parseVVF("[[[1]]]", error);
  EXPECT_EQ(error, "Array depth greater than 2");
  nav2_costmap_2d::parseVVF("[[1]]]", error);
  EXPECT_EQ(error, "More close ] than open [");
  nav2_costmap_2d::parseVVF("[1]", error);
  EXPECT_EQ(error, "Numbers at depth other than 2. Char was '1'.");
  nav2_costmap_2d::parseVVF("[[1]", error);
  EXPECT_EQ(error, "Unterminated vector string.");
}

TEST(FootprintShape, RadiusGivesSixteenPointsOnTheCircle)
{
  const auto points = nav2_costmap_2d::makeFootprintFromRadius(0.3);
  ASSERT_EQ(points.size(), 16u);
  for (const auto & p : points) {
    EXPECT_NEAR(std::hypot(p.x, p.y), 0.3, 1e-12);
  }
  EXPECT_NEAR(points[0].x, 0.3, 1e-12);
  EXPECT_NEAR(points[4].y, 0.3, 1e-12);
}

TEST(FootprintShape, PaddingMovesEachCoordinateAwayFromZero)
{
  std::vector<Point> points{makePoint(1.0, -2.0), makePoint(0.0, 3.0), makePoint(-1.0, 0.0)};
  nav2_costmap_2d::padFootprint(points, 0.1);
  EXPECT_DOUBLE_EQ(points[0].x, 1.1);
  EXPECT_DOUBLE_EQ(points[0].y, -2.1);
  EXPECT_DOUBLE_EQ(points[1].x, 0.0);
  EXPECT_DOUBLE_EQ(points[1].y, 3.1);
  EXPECT_DOUBLE_EQ(points[2].x, -1.1);
  EXPECT_DOUBLE_EQ(points[2].y, 0.0);
}

TEST(FootprintShape, MinAndMaxDistancesOfASquare)
{
  const auto radii = nav2_costmap_2d::calculateMinAndMaxDistances(square(1.0));
  EXPECT_DOUBLE_EQ(radii.first, 1.0);
  EXPECT_DOUBLE_EQ(radii.second, std::sqrt(2.0));
}

TEST(FootprintShape, PolygonConversionsRoundTrip)
{
  const auto polygon = nav2_costmap_2d::toPolygon(square(0.5));
  ASSERT_EQ(polygon.points.size(), 4u);
  EXPECT_FLOAT_EQ(polygon.points[1].x, -0.5f);
  auto back =
      nav2_costmap_2d::toPointVector(std::make_shared<geometry_msgs::msg::Polygon>(polygon));
  EXPECT_EQ(back, square(0.5));
}

class FootprintTransform : public ::testing::Test
{
protected:
  // Robot at (2, -1) facing +y.
  const double x_ = 2.0;
  const double y_ = -1.0;
  const double theta_ = M_PI / 2;
  const std::vector<Point> spec_{makePoint(1.0, 0.0), makePoint(0.0, 0.5), makePoint(-1.0, -0.5)};
};

TEST_F(FootprintTransform, RotatesThenTranslates)
{
  std::vector<Point> placed{makePoint(9.0, 9.0)};
  nav2_costmap_2d::transformFootprint(x_, y_, theta_, spec_, placed);
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_NEAR(placed[0].x, 2.0, 1e-12);
  EXPECT_NEAR(placed[0].y, 0.0, 1e-12);
  EXPECT_NEAR(placed[1].x, 1.5, 1e-12);
  EXPECT_NEAR(placed[1].y, -1.0, 1e-12);
  EXPECT_NEAR(placed[2].x, 2.5, 1e-12);
  EXPECT_NEAR(placed[2].y, -2.0, 1e-12);
}

TEST_F(FootprintTransform, StampedVersionReplacesPointsAndKeepsTheHeader)
{
  geometry_msgs::msg::PolygonStamped placed;
  placed.header.frame_id = "odom";
  placed.header.stamp.sec = 12;
  placed.polygon.points.resize(7);
  nav2_costmap_2d::transformFootprint(x_, y_, theta_, spec_, placed);
  ASSERT_EQ(placed.polygon.points.size(), 3u);
  EXPECT_NEAR(placed.polygon.points[1].x, 1.5f, 1e-6);
  EXPECT_NEAR(placed.polygon.points[1].y, -1.0f, 1e-6);
  EXPECT_EQ(placed.header.frame_id, "odom");
  EXPECT_EQ(placed.header.stamp.sec, 12);
}

}  // namespace
