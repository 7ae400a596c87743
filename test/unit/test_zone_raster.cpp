// Rasters of circle lists and blocks: extent and margin, cells set, the raster cache, and zones
// that cannot be rasterised.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "trasque/block.hpp"
#include "trasque/circle_list.hpp"
#include "trasque_test_support.hpp"

namespace {

using trasque::NonIdealPlanePoint;
using trasque::Type;
using trasque_test::countSet;
using trasque_test::LogCapture;
using trasque_test::LogRecord;
using trasque_test::picture;
using Rows = std::vector<std::string>;

class ZoneRaster : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { trasque_test::useStdoutLogger(); }

  static std::shared_ptr<trasque::CircleList> circles(
      std::vector<NonIdealPlanePoint> points, const std::string & id = "circles")
  {
    return std::make_shared<trasque::CircleList>(points, Type::NARROW_CORRIDOR, id);
  }

  static std::shared_ptr<trasque::Block> block(
      std::vector<NonIdealPlanePoint> points, const std::string & id = "block")
  {
    return std::make_shared<trasque::Block>(points, Type::NARROW_CORRIDOR, id);
  }

  static void expectEmptyRaster(const semantic_map::Gridmap<bool> & raster, double resolution)
  {
    EXPECT_EQ(raster.size_x, 0u);
    EXPECT_EQ(raster.size_y, 0u);
    EXPECT_EQ(raster.resolution, resolution);
    EXPECT_EQ(raster.origin_x, 0.0);
    EXPECT_EQ(raster.origin_y, 0.0);
    EXPECT_TRUE(raster.owns_data);
  }
};

TEST_F(ZoneRaster, UnitDiscAtHalfMetre)
{
  auto zone = circles({{0.0, 0.0, 1.0}});
  auto raster = zone->getGrid(0.5);
  ASSERT_TRUE(raster);
  EXPECT_EQ(raster->size_x, 7u);
  EXPECT_EQ(raster->size_y, 7u);
  EXPECT_DOUBLE_EQ(raster->origin_x, -1.5);
  EXPECT_DOUBLE_EQ(raster->origin_y, -1.5);
  EXPECT_EQ(raster->resolution, 0.5);
  EXPECT_FALSE(raster->default_value);
  EXPECT_TRUE(raster->owns_data);
  // Cells (3 + j, 3 + i) with j^2 + i^2 <= 4: the offsets at exactly the radius count.
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".......",
          "...#...",
          "..###..",
          ".#####.",
          "..###..",
          "...#...",
          ".......",
      }));
}

TEST_F(ZoneRaster, DiscsCentredOnCellBordersHaveNoHoles)
{
  // Discs as the loader makes them (pixel times resolution plus origin, no half pixel): every
  // centre lies on a cell border, and each whole-cell offset within the radius has its own cell.
  const double res = 0.05;
  for (int radius = 1; radius <= 10; ++radius) {
    size_t lattice = 0;
    for (int i = -radius; i <= radius; ++i) {
      for (int j = -radius; j <= radius; ++j) {
        lattice += std::hypot(j * res, i * res) <= radius * res ? 1 : 0;
      }
    }
    for (int px = 0; px < 20; ++px) {
      for (int py = 0; py < 20; ++py) {
        const NonIdealPlanePoint disc{px * res - 10.0, res * (400.0 - py) - 5.0, radius * res};
        ASSERT_EQ(countSet(*circles({disc})->getGrid(res)), lattice)
            << "radius " << radius << " at pixel " << px << ", " << py;
      }
    }
  }
}

TEST_F(ZoneRaster, DiscRasterIsCachedPerResolution)
{
  auto zone = circles({{0.0, 0.0, 1.0}});
  auto first = zone->getGrid(0.5);
  EXPECT_EQ(zone->getGrid(0.5), first);
  EXPECT_EQ(zone->grid_cache, first);

  auto finer = zone->getGrid(0.25);
  ASSERT_NE(finer, first);
  EXPECT_EQ(zone->grid_cache, finer);
  EXPECT_EQ(finer->size_x, 11u);
  EXPECT_EQ(finer->size_y, 11u);
  EXPECT_DOUBLE_EQ(finer->origin_x, -1.25);
  EXPECT_EQ(countSet(*finer), 49u);  // whole-cell offsets with j^2 + i^2 <= 16
  // The replaced raster stays intact for whoever still holds it.
  EXPECT_EQ(first->size_x, 7u);
  EXPECT_EQ(countSet(*first), 13u);

  auto back = zone->getGrid(0.5);
  EXPECT_NE(back, finer);
  EXPECT_EQ(picture(*back), picture(*first));
}

TEST_F(ZoneRaster, UnionOfDiscsAndZeroRadius)
{
  auto zone = circles({{0.0, 0.0, 0.0}, {2.0, 1.0, 0.0}, {1.0, 0.0, 1.0}});
  auto raster = zone->getGrid(1.0);
  // Extent: x from 0 to 2, y from -1 to 1.
  EXPECT_DOUBLE_EQ(raster->origin_x, -1.0);
  EXPECT_DOUBLE_EQ(raster->origin_y, -2.0);
  EXPECT_EQ(raster->size_x, 5u);
  EXPECT_EQ(raster->size_y, 5u);
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".....",
          "..##.",
          ".###.",
          "..#..",
          ".....",
      }));
}

TEST_F(ZoneRaster, NegativeCoordinatesKeepTheirOwnExtent)
{
  auto zone = circles({{-10.0, -8.0, 0.5}, {-7.0, -6.0, 0.5}});
  auto raster = zone->getGrid(0.1);
  const double far_x = raster->origin_x + raster->size_x * raster->resolution;
  const double far_y = raster->origin_y + raster->size_y * raster->resolution;
  // Largest disc bounds are x = -6.5 and y = -5.5; the raster ends about one cell beyond.
  EXPECT_GT(far_x, -6.5);
  EXPECT_LT(far_x, -6.2);
  EXPECT_GT(far_y, -5.5);
  EXPECT_LT(far_y, -5.2);
  EXPECT_NEAR(raster->origin_x, -10.6, 1e-9);
  EXPECT_NEAR(raster->origin_y, -8.6, 1e-9);
  uint32_t cx = 0;
  uint32_t cy = 0;
  for (const auto & p : zone->getFeaturePoints()) {
    cx = static_cast<uint32_t>((p.x - raster->origin_x) / raster->resolution);
    cy = static_cast<uint32_t>((p.y - raster->origin_y) / raster->resolution);
    EXPECT_TRUE(raster->data[cy * raster->size_x + cx]) << p.x << ", " << p.y;
  }
  // Between the discs nothing is set.
  cx = static_cast<uint32_t>((-8.5 - raster->origin_x) / raster->resolution);
  cy = static_cast<uint32_t>((-7.0 - raster->origin_y) / raster->resolution);
  EXPECT_FALSE(raster->data[cy * raster->size_x + cx]);
}

TEST_F(ZoneRaster, DiscsWithBadRadiusAreIgnored)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto reference = circles({{0.0, 0.0, 1.0}})->getGrid(0.5);
  // Far-away discs with a negative or NaN radius neither set cells nor widen the raster.
  auto zone = circles({{50.0, 50.0, -20.0}, {0.0, 0.0, 1.0}, {-40.0, 3.0, nan}});
  auto raster = zone->getGrid(0.5);
  EXPECT_EQ(raster->size_x, reference->size_x);
  EXPECT_EQ(raster->size_y, reference->size_y);
  EXPECT_DOUBLE_EQ(raster->origin_x, reference->origin_x);
  EXPECT_DOUBLE_EQ(raster->origin_y, reference->origin_y);
  EXPECT_EQ(picture(*raster), picture(*reference));
}

TEST_F(ZoneRaster, CircleListWithoutUsableDiscsIsEmpty)
{
  LogCapture log;
  auto none = circles({})->getGrid(0.05);
  auto negative = circles({{1.0, 1.0, -0.5}})->getGrid(0.05);
  EXPECT_TRUE(log.records().empty());
  expectEmptyRaster(*none, 0.05);
  expectEmptyRaster(*negative, 0.05);
}

TEST_F(ZoneRaster, Square)
{
  auto zone = block({{0.0, 0.0, 0.0}, {2.0, 0.0, 0.0}, {2.0, 2.0, 0.0}, {0.0, 2.0, 0.0}});
  auto raster = zone->getGrid(0.5);
  EXPECT_EQ(raster->size_x, 7u);
  EXPECT_EQ(raster->size_y, 7u);
  EXPECT_DOUBLE_EQ(raster->origin_x, -0.5);
  EXPECT_DOUBLE_EQ(raster->origin_y, -0.5);
  EXPECT_EQ(raster->resolution, 0.5);
  EXPECT_TRUE(raster->owns_data);
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".......",
          ".#####.",
          ".#####.",
          ".#####.",
          ".#####.",
          ".#####.",
          ".......",
      }));
  EXPECT_EQ(zone->getGrid(0.5), raster);
}

TEST_F(ZoneRaster, DiamondHasOnlyItsCornerInTopAndBottomRows)
{
  auto zone = block({{1.0, 0.0, 0.0}, {2.0, 1.0, 0.0}, {1.0, 2.0, 0.0}, {0.0, 1.0, 0.0}});
  auto raster = zone->getGrid(0.5);
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".......",
          "...#...",
          "..###..",
          ".#####.",
          "..###..",
          "...#...",
          ".......",
      }));
}

TEST_F(ZoneRaster, SlopedEdgesIndependentOfWindingOrder)
{
  const Rows triangle{
      ".......",
      ".#.....",
      ".##....",
      ".###...",
      ".####..",
      ".#####.",
      ".......",
  };
  auto ccw = block({{0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}, {0.0, 4.0, 0.0}})->getGrid(1.0);
  auto cw = block({{0.0, 0.0, 0.0}, {0.0, 4.0, 0.0}, {4.0, 0.0, 0.0}})->getGrid(1.0);
  EXPECT_EQ(picture(*ccw), triangle);
  EXPECT_EQ(picture(*cw), triangle);
}

TEST_F(ZoneRaster, ConcaveBlockFillsOnlyTheLeftmostSpan)
{
  // A U open at the top: rows crossing both arms keep the right arm as outline only.
  auto zone = block(
      {{0.0, 0.0, 0.0},
       {6.0, 0.0, 0.0},
       {6.0, 4.0, 0.0},
       {4.0, 4.0, 0.0},
       {4.0, 2.0, 0.0},
       {2.0, 2.0, 0.0},
       {2.0, 4.0, 0.0},
       {0.0, 4.0, 0.0}});
  auto raster = zone->getGrid(1.0);
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".........",
          ".###.#.#.",
          ".###.#.#.",
          ".###.#.#.",
          ".#######.",
          ".#######.",
          ".........",
      }));
}

TEST_F(ZoneRaster, BlockWithoutHeightWarnsOncePerResolution)
{
  auto zone = block({{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {3.0, 0.0, 0.0}}, "flat");
  LogCapture log;
  auto raster = zone->getGrid(0.5);
  auto again = zone->getGrid(0.5);
  EXPECT_EQ(
      log.records(),
      (std::vector<LogRecord>{{"WARN", "Block id flat can not create a valid cache"}}));
  expectEmptyRaster(*raster, 0.5);
  EXPECT_EQ(raster->data, nullptr);
  EXPECT_EQ(again, raster);
  EXPECT_EQ(zone->grid_cache, raster);
}

TEST_F(ZoneRaster, BlockWithoutWidthOrCornersWarns)
{
  auto upright = block({{2.0, 0.0, 0.0}, {2.0, 5.0, 0.0}}, "upright");
  auto single = block({{2.0, 3.0, 0.0}}, "single");
  auto none = block({}, "none");
  LogCapture log;
  expectEmptyRaster(*upright->getGrid(0.1), 0.1);
  expectEmptyRaster(*single->getGrid(0.1), 0.1);
  expectEmptyRaster(*none->getGrid(0.1), 0.1);
  none->getGrid(0.1);
  // Another resolution makes a new (empty) raster and reports again.
  expectEmptyRaster(*none->getGrid(0.2), 0.2);
  EXPECT_EQ(
      log.records(),
      (std::vector<LogRecord>{
          {"WARN", "Block id upright can not create a valid cache"},
          {"WARN", "Block id single can not create a valid cache"},
          {"WARN", "Block id none can not create a valid cache"},
          {"WARN", "Block id none can not create a valid cache"},
      }));
}

TEST_F(ZoneRaster, BadResolutionGivesEmptyRaster)
{
  auto disc = circles({{0.0, 0.0, 1.0}}, "disc");
  auto square = block({{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {1.0, 1.0, 0.0}, {0.0, 1.0, 0.0}}, "sq");
  LogCapture log;
  expectEmptyRaster(*disc->getGrid(0.0), 0.0);
  expectEmptyRaster(*square->getGrid(-0.5), -0.5);
  EXPECT_EQ(disc->getGrid(std::numeric_limits<double>::infinity())->size_x, 0u);
  EXPECT_EQ(
      log.records(),
      (std::vector<LogRecord>{
          {"WARN", "CircleList id disc can not create a valid cache"},
          {"WARN", "Block id sq can not create a valid cache"},
          {"WARN", "CircleList id disc can not create a valid cache"},
      }));
  // A usable resolution afterwards rasterises normally.
  EXPECT_EQ(countSet(*disc->getGrid(0.5)), 13u);
}

TEST_F(ZoneRaster, HugeOrNonFiniteZonesAreRefusedNotAllocated)
{
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto wide_disc = circles({{0.0, 0.0, 5000.0}}, "wide");
  auto far_block = block({{-1e300, 0.0, 0.0}, {1e300, 0.0, 0.0}, {0.0, 1e300, 0.0}}, "far");
  auto inf_block = block({{0.0, 0.0, 0.0}, {inf, 0.0, 0.0}, {0.0, 1.0, 0.0}}, "inf");
  auto nan_block = block({{0.0, 0.0, 0.0}, {nan, 1.0, 0.0}, {1.0, 1.0, 0.0}}, "nan");
  auto inf_disc = circles({{inf, 0.0, 1.0}}, "infdisc");
  // Too costly to make: one 100 m disc five times over, an outline that crosses 20,000 rows
  // 10,000 times.
  auto repeated_disc = circles(std::vector<NonIdealPlanePoint>(5, {0.0, 0.0, 100.0}), "five");
  std::vector<NonIdealPlanePoint> zigzag;
  for (int k = 0; k < 10000; ++k) {
    zigzag.push_back({k % 4 < 2 ? 0.0 : 0.1, (k % 2) * 1000.0, 0.0});
  }
  LogCapture log;
  EXPECT_EQ(wide_disc->getGrid(0.01)->size_x, 0u);
  EXPECT_EQ(far_block->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(inf_block->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(nan_block->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(inf_disc->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(repeated_disc->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(block(zigzag, "zigzag")->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(log.records().size(), 7u);
  // A long corridor of small discs is drawn.
  std::vector<NonIdealPlanePoint> corridor;
  for (int k = 0; k < 5000; ++k) {
    corridor.push_back({0.02 * k, 0.0, 0.5});
  }
  EXPECT_GT(countSet(*circles(corridor)->getGrid(0.05)), 0u);
  // The same disc at a coarse resolution is an ordinary raster.
  auto coarse = wide_disc->getGrid(100.0);
  EXPECT_EQ(coarse->size_x, 103u);
  EXPECT_GT(countSet(*coarse), 0u);
}

TEST_F(ZoneRaster, CornerCellsFollowTruncation)
{
  // Corners off the cell grid: each lands in the cell that truncation gives, counted from the
  // origin one cell below the smallest corner.
  auto zone = block({{0.375, 0.125, 0.0}, {1.5, 0.125, 0.0}, {1.5, 0.75, 0.0}, {0.375, 0.75, 0.0}});
  auto raster = zone->getGrid(0.25);
  EXPECT_DOUBLE_EQ(raster->origin_x, 0.125);
  EXPECT_DOUBLE_EQ(raster->origin_y, -0.125);
  EXPECT_EQ(raster->size_x, 7u);  // trunc(1.125 / 0.25) + 3
  EXPECT_EQ(raster->size_y, 5u);  // trunc(0.625 / 0.25) + 3
  EXPECT_EQ(
      picture(*raster),
      (Rows{
          ".......",
          ".#####.",
          ".#####.",
          ".#####.",
          ".......",
      }));
}

}  // namespace
