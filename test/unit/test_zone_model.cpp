// Zone kinds and shapes by name, and the overlap tests of discs and zones.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "trasque/block.hpp"
#include "trasque/circle_list.hpp"
#include "trasque/non_ideal_plane_point.hpp"
#include "trasque/types.hpp"
#include "trasque_test_support.hpp"

namespace {

using trasque::DescType;
using trasque::NonIdealPlanePoint;
using trasque::Type;

TEST(ZoneNames, KindsMatchExactly)
{
  EXPECT_EQ(trasque::getType("erase"), Type::ERASE);
  EXPECT_EQ(trasque::getType("forbidden"), Type::FORBIDDEN);
  EXPECT_EQ(trasque::getType("uncleanable"), Type::UNCLEANABLE);
  EXPECT_EQ(trasque::getType("narrow corridor"), Type::NARROW_CORRIDOR);
  EXPECT_EQ(static_cast<int>(trasque::getType("narrow corridor")), 4);

  EXPECT_EQ(trasque::getType("Narrow corridor"), Type::NONE);
  EXPECT_EQ(trasque::getType("narrow_corridor"), Type::NONE);
  EXPECT_EQ(trasque::getType("narrow corridor "), Type::NONE);
  EXPECT_EQ(trasque::getType(""), Type::NONE);
  EXPECT_EQ(trasque::getType("null"), Type::NONE);
}

TEST(ZoneNames, ShapesMatchExactly)
{
  EXPECT_EQ(trasque::getDescType("circle"), DescType::CIRCLE_LIST);
  EXPECT_EQ(trasque::getDescType("block"), DescType::BLOCK);
  EXPECT_EQ(trasque::getDescType("virtualWall"), DescType::VIRTUAL_WALL);
  EXPECT_EQ(static_cast<int>(trasque::getDescType("virtualWall")), 3);

  EXPECT_EQ(trasque::getDescType("virtualwall"), DescType::NONE);
  EXPECT_EQ(trasque::getDescType("Circle"), DescType::NONE);
  EXPECT_EQ(trasque::getDescType(""), DescType::NONE);
}

TEST(ZoneNames, UnknownNamesDoNotBecomeKnown)
{
  // A lookup that inserted unknown names would answer differently the second time.
  EXPECT_EQ(trasque::getType("corridor"), Type::NONE);
  EXPECT_EQ(trasque::getType("corridor"), Type::NONE);
  EXPECT_EQ(trasque::getDescType("polygon"), DescType::NONE);
  EXPECT_EQ(trasque::getDescType("polygon"), DescType::NONE);
  EXPECT_EQ(trasque::getType("forbidden"), Type::FORBIDDEN);
}

TEST(DiscOverlap, StrictDistanceAgainstRadiusSum)
{
  const NonIdealPlanePoint origin{0.0, 0.0, 1.0};
  EXPECT_FALSE(origin.isIntersecting({2.0, 0.0, 1.0}));
  EXPECT_TRUE(origin.isIntersecting({1.999, 0.0, 1.0}));
  EXPECT_TRUE(origin.isIntersecting({0.0, 0.0, 1.0}));
  // Distance 5 (3-4-5 triangle) against radius sum 5 and 5.001.
  EXPECT_FALSE((NonIdealPlanePoint{0.0, 0.0, 2.0}.isIntersecting({3.0, 4.0, 3.0})));
  EXPECT_TRUE((NonIdealPlanePoint{0.0, 0.0, 2.0}.isIntersecting({3.0, 4.0, 3.001})));
}

TEST(DiscOverlap, PointsNeverOverlap)
{
  const NonIdealPlanePoint point{1.5, -2.0, 0.0};
  EXPECT_FALSE(point.isIntersecting(point));
  EXPECT_FALSE(point.isIntersecting({1.5, -2.0, 0.0}));
  // A point strictly inside a disc does overlap it.
  EXPECT_TRUE(point.isIntersecting({1.5, -2.5, 1.0}));
}

TEST(DiscOverlap, BadRadiusOverlapsNothing)
{
  const NonIdealPlanePoint negative{0.0, 0.0, -1.0};
  const NonIdealPlanePoint big{0.0, 0.0, 10.0};
  EXPECT_FALSE(negative.isIntersecting(big));
  EXPECT_FALSE(big.isIntersecting(negative));
  // -1 + 10 would still exceed the distance: the sign check must come first.
  EXPECT_FALSE(big.isIntersecting({1.0, 0.0, -1.0}));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(big.isIntersecting({0.0, 0.0, nan}));
  EXPECT_FALSE((NonIdealPlanePoint{0.0, 0.0, nan}.isIntersecting(big)));
}

class ZoneOverlap : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { trasque_test::useStdoutLogger(); }

  std::shared_ptr<trasque::Base> corridor = std::make_shared<trasque::CircleList>(
      std::vector<NonIdealPlanePoint>{{0.0, 0.0, 0.5}, {2.0, 0.0, 0.5}},
      Type::NARROW_CORRIDOR,
      "corridor");
  std::shared_ptr<trasque::Base> square = std::make_shared<trasque::Block>(
      std::vector<NonIdealPlanePoint>{
          {10.0, 10.0, 0.0}, {12.0, 10.0, 0.0}, {12.0, 12.0, 0.0}, {10.0, 12.0, 0.0}},
      Type::FORBIDDEN,
      "square");
};

TEST_F(ZoneOverlap, CircleListChecksEveryDisc)
{
  EXPECT_TRUE(corridor->isIntersecting(NonIdealPlanePoint{2.8, 0.0, 0.5}));
  EXPECT_TRUE(corridor->isIntersecting(NonIdealPlanePoint{-0.8, 0.0, 0.5}));
  EXPECT_FALSE(corridor->isIntersecting(NonIdealPlanePoint{1.0, 0.0, 0.4}));
  EXPECT_FALSE(corridor->isIntersecting(NonIdealPlanePoint{1.0, 0.0, -5.0}));
}

TEST_F(ZoneOverlap, BlockCountsOnlyItsCorners)
{
  // The middle of the block is not a feature point: a small disc there meets no corner.
  EXPECT_FALSE(square->isIntersecting(NonIdealPlanePoint{11.0, 11.0, 1.0}));
  EXPECT_TRUE(square->isIntersecting(NonIdealPlanePoint{11.0, 11.0, 1.5}));
  EXPECT_TRUE(square->isIntersecting(NonIdealPlanePoint{12.1, 12.1, 0.2}));
  EXPECT_FALSE(square->isIntersecting(NonIdealPlanePoint{12.0, 12.0, 0.0}));
}

TEST_F(ZoneOverlap, ZoneAgainstZoneUsesTheOtherZonesPoints)
{
  auto near_square = std::make_shared<trasque::CircleList>(
      std::vector<NonIdealPlanePoint>{{5.0, 5.0, 0.1}, {12.5, 12.5, 1.0}}, Type::ERASE, "near");
  auto far_away = std::make_shared<trasque::CircleList>(
      std::vector<NonIdealPlanePoint>{{50.0, 50.0, 1.0}}, Type::ERASE, "far");

  // The square's corners are discs of radius 0: they fall inside the second disc.
  EXPECT_TRUE(near_square->isIntersecting(*square));
  // The other way round the square tests the circle list's discs against its corners.
  EXPECT_TRUE(square->isIntersecting(*near_square));
  EXPECT_FALSE(far_away->isIntersecting(*square));
  EXPECT_FALSE(far_away->isIntersecting(*corridor));
  auto empty = std::make_shared<trasque::CircleList>(
      std::vector<NonIdealPlanePoint>{}, Type::ERASE, "empty");
  EXPECT_FALSE(corridor->isIntersecting(*empty));
  EXPECT_FALSE(empty->isIntersecting(*corridor));
}

TEST_F(ZoneOverlap, ConstructorsKeepKindShapeIdAndPoints)
{
  EXPECT_EQ(corridor->type, Type::NARROW_CORRIDOR);
  EXPECT_EQ(corridor->desctype, DescType::CIRCLE_LIST);
  EXPECT_EQ(corridor->id, "corridor");
  ASSERT_EQ(corridor->getFeaturePoints().size(), 2u);
  EXPECT_DOUBLE_EQ(corridor->getFeaturePoints()[1].x, 2.0);

  EXPECT_EQ(square->type, Type::FORBIDDEN);
  EXPECT_EQ(square->desctype, DescType::BLOCK);
  EXPECT_EQ(square->id, "square");
  ASSERT_EQ(square->getFeaturePoints().size(), 4u);
  EXPECT_DOUBLE_EQ(square->getFeaturePoints()[2].y, 12.0);
}

}  // namespace
