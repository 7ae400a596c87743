// Geometry and content operations of Costmap2D.
#include <gtest/gtest.h>

#include <limits>

#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"

using nav2_costmap_2d::Costmap2D;

namespace {

// 10 x 8 cells of 0.5 m with the origin at (-1, 2).
class Costmap2DGeometry : public ::testing::Test
{
protected:
  Costmap2D map_{10, 8, 0.5, -1.0, 2.0, 7};
};

TEST_F(Costmap2DGeometry, SizeInMetersCountsHalfACellLess)
{
  EXPECT_DOUBLE_EQ(map_.getSizeInMetersX(), 9.5 * 0.5);
  EXPECT_DOUBLE_EQ(map_.getSizeInMetersY(), 7.5 * 0.5);
  EXPECT_EQ(map_.getSizeInCellsX(), 10u);
  EXPECT_EQ(map_.getSizeInCellsY(), 8u);
}

TEST_F(Costmap2DGeometry, MapToWorldGivesCellCentres)
{
  double wx, wy;
  map_.mapToWorld(0, 0, wx, wy);
  EXPECT_DOUBLE_EQ(wx, -0.75);
  EXPECT_DOUBLE_EQ(wy, 2.25);
  map_.mapToWorld(9, 7, wx, wy);
  EXPECT_DOUBLE_EQ(wx, -1.0 + 9.5 * 0.5);
  EXPECT_DOUBLE_EQ(wy, 2.0 + 7.5 * 0.5);
}

TEST_F(Costmap2DGeometry, WorldToMapTruncatesAndRejectsOutside)
{
  unsigned int mx = 99, my = 99;
  ASSERT_TRUE(map_.worldToMap(-1.0, 2.0, mx, my));
  EXPECT_EQ(mx, 0u);
  EXPECT_EQ(my, 0u);
  ASSERT_TRUE(map_.worldToMap(0.49, 3.99, mx, my));
  EXPECT_EQ(mx, 2u);
  EXPECT_EQ(my, 3u);
  ASSERT_TRUE(map_.worldToMap(3.99, 5.99, mx, my));
  EXPECT_EQ(mx, 9u);
  EXPECT_EQ(my, 7u);

  EXPECT_FALSE(map_.worldToMap(-1.01, 3.0, mx, my));
  EXPECT_FALSE(map_.worldToMap(0.0, 1.99, mx, my));
  // The far edge belongs to no cell.
  EXPECT_FALSE(map_.worldToMap(4.0, 3.0, mx, my));
  EXPECT_FALSE(map_.worldToMap(0.0, 6.0, mx, my));
}

TEST_F(Costmap2DGeometry, WorldToMapNoBoundsExtendsTheGrid)
{
  int mx, my;
  map_.worldToMapNoBounds(6.0, 2.6, mx, my);
  EXPECT_EQ(mx, 14);
  EXPECT_EQ(my, 1);
  // Truncation towards zero, as the cast does.
  map_.worldToMapNoBounds(-1.4, 1.4, mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, -1);
}

TEST_F(Costmap2DGeometry, WorldToMapEnforceBoundsClamps)
{
  int mx, my;
  map_.worldToMapEnforceBounds(-5.0, -5.0, mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  map_.worldToMapEnforceBounds(100.0, 100.0, mx, my);
  EXPECT_EQ(mx, 9);
  EXPECT_EQ(my, 7);
  map_.worldToMapEnforceBounds(0.3, 3.3, mx, my);
  EXPECT_EQ(mx, 2);
  EXPECT_EQ(my, 2);

  const double big = std::numeric_limits<double>::max();
  map_.worldToMapEnforceBounds(-big, -big, mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  map_.worldToMapEnforceBounds(big, big, mx, my);
  EXPECT_EQ(mx, 9);
  EXPECT_EQ(my, 7);
}

TEST_F(Costmap2DGeometry, WorldToMapEnforceBoundsLetsTheFarEdgeThrough)
{
  // The upper clamp applies only beyond origin + size * resolution: the edge itself maps to
  // index size, one past the last cell.
  int mx, my;
  map_.worldToMapEnforceBounds(4.0, 6.0, mx, my);
  EXPECT_EQ(mx, 10);
  EXPECT_EQ(my, 8);
}

TEST_F(Costmap2DGeometry, IndexAndCellsAreRowMajor)
{
  EXPECT_EQ(map_.getIndex(3, 2), 23u);
  unsigned int mx, my;
  map_.indexToCells(23, mx, my);
  EXPECT_EQ(mx, 3u);
  EXPECT_EQ(my, 2u);
  map_.setCost(3, 2, 42);
  EXPECT_EQ(map_.getCost(23), 42);
  EXPECT_EQ(map_.getCharMap()[23], 42);
}

TEST(Costmap2DContent, ConstructorFillsWithTheDefaultValue)
{
  Costmap2D map(4, 3, 1.0, 0.0, 0.0, nav2_costmap_2d::NO_INFORMATION);
  for (unsigned int i = 0; i < 12; ++i) {
    EXPECT_EQ(map.getCost(i), nav2_costmap_2d::NO_INFORMATION);
  }
}

TEST(Costmap2DContent, DefaultConstructedMapIsEmptyWithDefaultZero)
{
  Costmap2D map;
  EXPECT_EQ(map.getSizeInCellsX(), 0u);
  EXPECT_EQ(map.getSizeInCellsY(), 0u);
  EXPECT_EQ(map.getResolution(), 0.0);
  EXPECT_EQ(map.getCharMap(), nullptr);
  EXPECT_EQ(map.getDefaultValue(), 0);
  map.resizeMap(3, 2, 0.25, 1.0, -1.0);
  EXPECT_EQ(map.getCost(2, 1), 0);
}

TEST(Costmap2DContent, ResizeMapReplacesGeometryAndResetsCells)
{
  Costmap2D map(4, 4, 1.0, 0.0, 0.0, 3);
  map.setCost(1, 1, 200);
  map.resizeMap(6, 5, 0.2, -2.0, 4.0);
  EXPECT_EQ(map.getSizeInCellsX(), 6u);
  EXPECT_EQ(map.getSizeInCellsY(), 5u);
  EXPECT_DOUBLE_EQ(map.getResolution(), 0.2);
  EXPECT_DOUBLE_EQ(map.getOriginX(), -2.0);
  EXPECT_DOUBLE_EQ(map.getOriginY(), 4.0);
  for (unsigned int i = 0; i < 30; ++i) {
    EXPECT_EQ(map.getCost(i), 3);
  }
  // 65540 x 65540 cells would wrap to 458,304 in 32 bits: refused, nothing changes.
  map.resizeMap(65540, 65540, 0.05, 0.0, 0.0);
  EXPECT_EQ(map.getSizeInCellsX(), 6u);
  EXPECT_DOUBLE_EQ(map.getResolution(), 0.2);
}

TEST(Costmap2DContent, ResetMapTouchesOnlyTheHalfOpenWindow)
{
  Costmap2D map(5, 5, 1.0, 0.0, 0.0, 0);
  map.resetMapToValue(0, 0, 5, 5, 9);
  map.resetMap(1, 2, 3, 4);
  for (unsigned int y = 0; y < 5; ++y) {
    for (unsigned int x = 0; x < 5; ++x) {
      const bool inside = x >= 1 && x < 3 && y >= 2 && y < 4;
      EXPECT_EQ(map.getCost(x, y), inside ? 0 : 9) << x << "," << y;
    }
  }
}

TEST(Costmap2DContent, CopyIsDeep)
{
  Costmap2D map(3, 3, 0.5, 1.0, 1.0, 5);
  map.setCost(2, 2, 77);
  Costmap2D copy(map);
  map.setCost(2, 2, 1);
  EXPECT_EQ(copy.getCost(2, 2), 77);
  EXPECT_EQ(copy.getDefaultValue(), 5);
  EXPECT_DOUBLE_EQ(copy.getOriginX(), 1.0);
  EXPECT_NE(copy.getCharMap(), map.getCharMap());
}

TEST(Costmap2DContent, CopyWindowChecksBothGrids)
{
  Costmap2D source(4, 4, 1.0, 0.0, 0.0, 0);
  source.setCost(1, 1, 11);
  source.setCost(2, 2, 22);
  Costmap2D dest(4, 4, 1.0, 0.0, 0.0, 0);
  ASSERT_TRUE(dest.copyWindow(source, 1, 1, 3, 3, 0, 0));
  EXPECT_EQ(dest.getCost(0, 0), 11);
  EXPECT_EQ(dest.getCost(1, 1), 22);
  EXPECT_FALSE(dest.copyWindow(source, 0, 0, 5, 2, 0, 0));
  EXPECT_FALSE(dest.copyWindow(source, 0, 0, 2, 2, 3, 0));
}

class Costmap2DUpdateOrigin : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // Every cell holds a value derived from its position.
    for (unsigned int y = 0; y < 6; ++y) {
      for (unsigned int x = 0; x < 6; ++x) {
        map_.setCost(x, y, static_cast<unsigned char>(10 * y + x + 1));
      }
    }
  }

  Costmap2D map_{6, 6, 0.5, 0.0, 0.0, 0};
};

TEST_F(Costmap2DUpdateOrigin, PositiveShiftKeepsTheOverlapInPlace)
{
  // 2.4 cells in x, 1 cell in y: snapped to whole cells.
  map_.updateOrigin(1.2, 0.5);
  EXPECT_DOUBLE_EQ(map_.getOriginX(), 1.0);
  EXPECT_DOUBLE_EQ(map_.getOriginY(), 0.5);
  for (unsigned int y = 0; y < 6; ++y) {
    for (unsigned int x = 0; x < 6; ++x) {
      const bool kept = x < 4 && y < 5;
      const unsigned char expected =
          kept ? static_cast<unsigned char>(10 * (y + 1) + x + 2 + 1) : 0;
      EXPECT_EQ(map_.getCost(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(Costmap2DUpdateOrigin, NegativeShiftMovesContentUp)
{
  map_.updateOrigin(-1.0, -0.5);
  EXPECT_DOUBLE_EQ(map_.getOriginX(), -1.0);
  EXPECT_DOUBLE_EQ(map_.getOriginY(), -0.5);
  for (unsigned int y = 0; y < 6; ++y) {
    for (unsigned int x = 0; x < 6; ++x) {
      const bool kept = x >= 2 && y >= 1;
      const unsigned char expected =
          kept ? static_cast<unsigned char>(10 * (y - 1) + x - 2 + 1) : 0;
      EXPECT_EQ(map_.getCost(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(Costmap2DUpdateOrigin, ShiftBeyondTheGridClearsEverything)
{
  map_.updateOrigin(10.0, 0.0);
  EXPECT_DOUBLE_EQ(map_.getOriginX(), 10.0);
  for (unsigned int i = 0; i < 36; ++i) {
    EXPECT_EQ(map_.getCost(i), 0);
  }
}

TEST_F(Costmap2DUpdateOrigin, ContentStaysAtItsWorldPosition)
{
  unsigned int mx, my;
  ASSERT_TRUE(map_.worldToMap(2.3, 1.8, mx, my));
  const unsigned char before = map_.getCost(mx, my);
  map_.updateOrigin(0.7, 1.1);
  ASSERT_TRUE(map_.worldToMap(2.3, 1.8, mx, my));
  EXPECT_EQ(map_.getCost(mx, my), before);
}

TEST(Costmap2DCells, CellDistanceRoundsUp)
{
  Costmap2D map(4, 4, 0.25, 0.0, 0.0);
  EXPECT_EQ(map.cellDistance(0.5), 2u);
  EXPECT_EQ(map.cellDistance(0.51), 3u);
  EXPECT_EQ(map.cellDistance(-1.0), 0u);
}

}  // namespace
