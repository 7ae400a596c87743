// The semantic part of an update cycle on a layered map: cell window, layer calls, rolling window,
// robot check and the throttled warnings.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log_capture.hpp"
#include "server_test_helpers.hpp"

namespace {

using server_test::countRecords;
using server_test::cellAt;
using server_test::Grid;
using server_test::kEmptyHeight;
using server_test::LayeredMap;
using server_test::ScriptedLayer;

constexpr const char * kOutOfRange = "MapTypeAndHeight::setMap get source area out of range";
constexpr const char * kRobotOut =
    "LayeredSemanticmap::updateMap robot is out of bounds of the map!";
constexpr const char * kIllegal = "LayeredSemanticmap::updateMap Illegal bounds change";

// The throttle clock of this unit, moved by the tests.
std::int64_t g_fake_now = 0;
std::int64_t fakeNow() { return g_fake_now; }

struct Window
{
  std::string layer;
  int x0, y0, xn, yn;
  bool operator==(const Window & o) const
  {
    return layer == o.layer && x0 == o.x0 && y0 == o.y0 && xn == o.xn && yn == o.yn;
  }
};

std::ostream & operator<<(std::ostream & os, const Window & w)
{
  return os << w.layer << "[" << w.x0 << "," << w.y0 << "," << w.xn << "," << w.yn << "]";
}

class UpdateCycleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // Fresh throttle table on a clock the test controls.
    std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
    brindlex::throttle_table.times.clear();
    brindlex::throttle_table.clock = &fakeNow;
    g_fake_now = 1'000'000'000'000;
  }

  void TearDown() override
  {
    std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
    brindlex::throttle_table.clock = &brindlex::ThrottleTable::systemNow;
  }

  // A layer that records its updateMaps windows into `windows` and runs @p bounds.
  std::shared_ptr<ScriptedLayer> addLayer(
      LayeredMap & map,
      const std::string & name,
      std::function<void(double, double, double, double *, double *, double *, double *)> bounds =
          nullptr)
  {
    auto layer = std::make_shared<ScriptedLayer>();
    layer->name = name;
    layer->on_bounds = std::move(bounds);
    layer->on_update = [this, name](Grid *, int x0, int y0, int xn, int yn) {
      windows.push_back({name, x0, y0, xn, yn});
    };
    map.plugins.push_back(layer);
    return layer;
  }

  std::vector<Window> windows;
};

// ---------------------------------------------------------------------------------------------
// Cell window

TEST_F(UpdateCycleTest, UntouchedBoundsGiveAnInvertedWindowAndEveryLayerStillRuns)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 8, 0.5, -1.0, -1.0);
  addLayer(map, "a");
  addLayer(map, "b");
  map.updateMap(0.0, 0.0, 0.0);
  const std::vector<Window> expected{{"a", 9, 7, 1, 1}, {"b", 9, 7, 1, 1}};
  EXPECT_EQ(windows, expected);
  EXPECT_TRUE(map.initialized);
}

TEST_F(UpdateCycleTest, BoxBoundsBecomeTheCellsTheyTouchClampedToTheGrid)
{
  constexpr double kLowest = std::numeric_limits<double>::lowest();
  constexpr double kLargest = std::numeric_limits<double>::max();
  struct Case
  {
    double resolution, origin;  // m, m (both axes)
    double x0, y0, x1, y1;      // box (m)
    Window expected;
  };
  const std::vector<Case> cases{
      // 10 x 8 cells of 0.5 m from (-1, -1): x0 in cell 2, y0 exactly the origin (cell 0),
      // x1 in cell 4 (one past is 5), y1 exactly the far edge (clipped to 8).
      {0.5, -1.0, 0.2, -1.0, 1.1, 3.0, {"box", 2, 0, 5, 8}},
      // Entirely beyond the far corner: first cell the last one, end the size.
      {1.0, 0.0, 50.0, 50.0, 60.0, 60.0, {"box", 9, 7, 10, 8}},
      // Lowest to largest: the whole grid.
      {0.5, -1.0, kLowest, kLowest, kLargest, kLargest, {"box", 0, 0, 10, 8}},
  };
  for (const auto & c : cases) {
    windows.clear();
    LayeredMap map("map", false, nullptr);
    map.resizeMap(10, 8, c.resolution, c.origin, c.origin);
    addLayer(map, "box", [&c](double, double, double, double * x0, double * y0, double * x1,
                              double * y1) {
      *x0 = c.x0;
      *y0 = c.y0;
      *x1 = c.x1;
      *y1 = c.y1;
    });
    map.updateMap(0.0, 0.0, 0.0);
    ASSERT_EQ(windows.size(), 1u) << c.expected;
    EXPECT_EQ(windows[0], c.expected);
  }
}

TEST_F(UpdateCycleTest, LayersSeeTheBoundsOfTheLayersBeforeThem)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 10, 1.0, 0.0, 0.0);
  std::vector<double> seen;
  addLayer(
      map, "first", [](double, double, double, double * x0, double * y0, double * x1, double * y1) {
        *x0 = 1.0;
        *y0 = 2.0;
        *x1 = 3.0;
        *y1 = 4.0;
      });
  addLayer(
      map,
      "second",
      [&seen](
          double rx, double ry, double yaw, double * x0, double * y0, double * x1, double * y1) {
        seen = {rx, ry, yaw, *x0, *y0, *x1, *y1};
      });
  map.updateMap(5.0, 6.0, 0.25);
  EXPECT_EQ(seen, (std::vector<double>{5.0, 6.0, 0.25, 1.0, 2.0, 3.0, 4.0}));
}

TEST_F(UpdateCycleTest, LayersRunUnderTheOuterMutexWithTheGridMutexFree)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(4, 4, 1.0, 0.0, 0.0);
  bool outer_held = false;
  bool grid_free = false;
  auto layer = addLayer(map, "probe");
  layer->on_update = [&](Grid * grid, int, int, int, int) {
    std::thread probe([&]() {
      outer_held = !map.mutex.try_lock();
      if (!outer_held) {
        map.mutex.unlock();
      }
      grid_free = grid->mutex.try_lock();
      if (grid_free) {
        grid->mutex.unlock();
      }
    });
    probe.join();
  };
  map.updateMap(1.0, 1.0, 0.0);
  EXPECT_TRUE(outer_held);
  EXPECT_TRUE(grid_free);
}

TEST_F(UpdateCycleTest, WithoutLayersTheGridStaysUninitialised)
{
  LayeredMap map("map", true, nullptr);
  map.resizeMap(10, 10, 1.0, 0.0, 0.0);
  map.updateMap(20.25, 5.0, 0.0);
  // The rolling window still moved the grid to the robot.
  EXPECT_DOUBLE_EQ(map.semanticmap.origin_x, 15.0);
  EXPECT_FALSE(map.initialized);
}

// ---------------------------------------------------------------------------------------------
// Rolling window

class RollingWindowTest : public UpdateCycleTest
{
protected:
  void SetUp() override
  {
    UpdateCycleTest::SetUp();
    map = std::make_unique<LayeredMap>("map", true, nullptr);
    // 10 x 10 cells of 1 m; a robot at (5, 5) keeps the origin at (0, 0).
    map->resizeMap(10, 10, 1.0, 0.0, 0.0);
  }

  void mark(unsigned int x, unsigned int y, unsigned int flag, float height)
  {
    std::lock_guard<std::mutex> lock(map->semanticmap.mutex);
    auto & store = *map->semanticmap.grid;
    store.types[x + y * store.size_x] = flag;
    store.heights[x + y * store.size_x] = height;
  }

  int markedCells()
  {
    std::lock_guard<std::mutex> lock(map->semanticmap.mutex);
    int marked = 0;
    for (uint32_t i = 0; i < map->semanticmap.grid->cellCount(); ++i) {
      marked += static_cast<unsigned int>(map->semanticmap.grid->types[i]) != 0u ? 1 : 0;
    }
    return marked;
  }

  std::unique_ptr<LayeredMap> map;
};

TEST_F(RollingWindowTest, StillRobotKeepsEveryCell)
{
  mark(0, 0, 1u, 0.1f);
  mark(9, 9, 8u, 0.2f);
  mark(4, 7, 256u, 0.3f);
  for (int cycle = 0; cycle < 3; ++cycle) {
    map->updateMap(5.0, 5.0, 0.0);
  }
  EXPECT_EQ(map->semanticmap.origin_x, 0.0);
  EXPECT_EQ(map->semanticmap.origin_y, 0.0);
  EXPECT_EQ(cellAt(map->semanticmap, 0, 0), std::make_pair(1u, 0.1f));
  EXPECT_EQ(cellAt(map->semanticmap, 9, 9), std::make_pair(8u, 0.2f));
  EXPECT_EQ(cellAt(map->semanticmap, 4, 7), std::make_pair(256u, 0.3f));
  EXPECT_EQ(markedCells(), 3);
}

TEST_F(RollingWindowTest, ShiftMovesCellsWithTheWorld)
{
  mark(5, 2, 4u, 1.5f);           // world (5..6, 2..3)
  mark(1, 2, 2u, 0.5f);           // falls off the low x edge
  map->updateMap(8.0, 4.0, 0.0);  // new origin (3.25, -0.75) -> shift by (3, 0)
  EXPECT_EQ(map->semanticmap.origin_x, 3.0);
  EXPECT_EQ(map->semanticmap.origin_y, 0.0);
  EXPECT_EQ(cellAt(map->semanticmap, 2, 2), std::make_pair(4u, 1.5f));
  EXPECT_EQ(markedCells(), 1);
  // The cells that entered on the high x edge are empty.
  EXPECT_EQ(cellAt(map->semanticmap, 9, 2), std::make_pair(0u, kEmptyHeight));
}

// A shift of exactly the width copies nothing, quietly; one beyond it is reported. Either way the
// grid ends empty.
TEST_F(RollingWindowTest, ShiftOfTheWidthOrMoreEmptiesTheGrid)
{
  struct Case
  {
    double robot_x;
    double origin_x;
    int errors;
  };
  for (const Case & c : {Case{15.0, 10.0, 0}, Case{16.0, 11.0, 1}}) {
    SetUp();  // a fresh map at origin 0
    mark(3, 3, 1u, 1.0f);
    test_util::ScopedCapture capture;
    map->updateMap(c.robot_x, 5.0, 0.0);  // cell shift of robot_x - 5
    EXPECT_EQ(map->semanticmap.origin_x, c.origin_x);
    EXPECT_TRUE(server_test::allCellsEmpty(map->semanticmap)) << c.robot_x;
    EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), c.errors);
  }

  // Far away in the negative direction: the back-copy corner must not wrap into range.
  mark(3, 3, 1u, 1.0f);
  test_util::ScopedCapture capture;
  map->updateMap(-1.0e6, 5.0, 0.0);
  EXPECT_TRUE(server_test::allCellsEmpty(map->semanticmap));
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 1);
}

TEST_F(RollingWindowTest, ResizedGridIsFollowedFromTheNextCycle)
{
  map->resizeMap(4, 6, 0.5, 0.0, 0.0);
  map->updateMap(1.0, 1.0, 0.0);
  EXPECT_EQ(map->semanticmap.grid->size_x, 4u);
  EXPECT_EQ(map->semanticmap.grid->size_y, 6u);
  // new origin x = 1 - 3.5 * 0.5 * 0.5 = 0.125 -> 0 cells; y = 1 - 5.5 * 0.25 = -0.375 -> 0 cells
  EXPECT_EQ(map->semanticmap.origin_x, 0.0);
  EXPECT_EQ(map->semanticmap.origin_y, 0.0);
}

// A re-size whose arrays cannot be allocated (5 GB of cells in a 2 GB address space, in a child
// process) leaves the grid as it was, and the next cycles move the window over it.
TEST_F(RollingWindowTest, ResizeWithoutMemoryLeavesTheGridAsItWas)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#endif
  mark(3, 3, 1u, 1.0f);
  const auto resize_without_memory = [this]() {
    const rlimit limit{2ul << 30, 2ul << 30};
    setrlimit(RLIMIT_AS, &limit);
    const bool resized = map->resizeMap(25000, 25000, 0.05, 0.0, 0.0);
    map->updateMap(6.0, 5.0, 0.0);  // one cell along x
    const bool kept = map->semanticmap.grid->size_x == 10 && map->semanticmap.resolution == 1.0 &&
                      cellAt(map->semanticmap, 2, 3) == std::make_pair(1u, 1.0f);
    std::exit(!resized && kept ? 0 : 1);
  };
  EXPECT_EXIT(resize_without_memory(), ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------------------------
// Warnings

TEST_F(UpdateCycleTest, RobotOutsideTheGridWarnsOnceForBothMessages)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 10, 1.0, 0.0, 0.0);
  addLayer(
      map, "narrower", [](double, double, double, double * x0, double *, double * x1, double *) {
        *x0 = 1.0;
        *x1 = 2.0;
      });
  addLayer(map, "offender", [](double, double, double, double * x0, double *, double *, double *) {
    *x0 = 1.5;  // min_x grows: the box shrank
  });
  test_util::ScopedCapture capture;
  // One cell below the origin in y: the robot warning passes the throttle, and the illegal
  // bounds change of the same cycle shares its key and stays quiet.
  map.updateMap(5.0, -1.0, 0.0);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kRobotOut), 1);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kIllegal), 0);
  map.updateMap(5.0, -1.0, 0.0);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kRobotOut), 1);

  // 19 s later the robot is back inside; the illegal change alone is still throttled.
  g_fake_now += 19'000'000'000;
  map.updateMap(5.0, 5.0, 0.0);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kIllegal), 0);

  // After 20 s the key passes again.
  g_fake_now += 2'000'000'000;
  map.updateMap(5.0, 5.0, 0.0);
  const auto records = capture.records();
  ASSERT_EQ(countRecords(records, spdlog::level::warn, kIllegal), 1);
  EXPECT_EQ(countRecords(records, spdlog::level::warn, "The offending layer is offender"), 1);
  EXPECT_EQ(countRecords(records, spdlog::level::warn, kRobotOut), 1);
  // The cycles went on despite the warnings.
  EXPECT_EQ(windows.size(), 8u);
}

TEST_F(UpdateCycleTest, RobotBelowOrBeyondTheGridIsDetectedOnEachSide)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 10, 1.0, 0.0, 0.0);
  const std::vector<std::pair<double, double>> outside{
      {-0.01, 5.0}, {5.0, -0.01}, {10.0, 5.0}, {5.0, 10.0}};
  for (const auto & [x, y] : outside) {
    {
      std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
      brindlex::throttle_table.times.clear();
    }
    test_util::ScopedCapture capture;
    map.updateMap(x, y, 0.0);
    EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kRobotOut), 1) << x << "," << y;
  }
  {
    std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
    brindlex::throttle_table.times.clear();
  }
  test_util::ScopedCapture capture;
  map.updateMap(9.99, 0.0, 0.0);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::warn, kRobotOut), 0);
}

TEST_F(UpdateCycleTest, ShrunkBoundsAreReportedWithBothBoxesAndPassedOn)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 10, 1.0, 0.0, 0.0);
  addLayer(
      map, "wide", [](double, double, double, double * x0, double * y0, double * x1, double * y1) {
        *x0 = 1.0;
        *y0 = 1.0;
        *x1 = 8.0;
        *y1 = 8.0;
      });
  addLayer(
      map,
      "narrow",
      [](double, double, double, double * x0, double * y0, double * x1, double * y1) {
        *x0 = 2.0;
        *y0 = 2.0;
        *x1 = 4.0;
        *y1 = 4.0;
      });
  test_util::ScopedCapture capture;
  map.updateMap(5.0, 5.0, 0.0);
  const auto records = capture.records();
  EXPECT_EQ(
      countRecords(
          records,
          spdlog::level::warn,
          "Illegal bounds change, was [tl: (1, 1), br: (8, 8)], but is now [tl: (2, 2), br: (4, "
          "4)]. "
          "The offending layer is narrow"),
      1);
  // Nothing corrects the box: the window is the shrunk one.
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[1], (Window{"narrow", 2, 2, 5, 5}));
}

}  // namespace
