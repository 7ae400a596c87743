// The cell store, the semantic grid, the zone raster and the layered map outside the update cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_nav2_semanticmap/gridmap.hpp"
#include "log_capture.hpp"
#include "server_test_helpers.hpp"

namespace {

using semantic_map::MapTypeAndHeight;
using server_test::countRecords;
using server_test::Grid;
using server_test::kEmptyHeight;
using server_test::LayeredMap;
using server_test::ScriptedLayer;
using namespace std::chrono_literals;

constexpr const char * kOutOfRange = "MapTypeAndHeight::setMap get source area out of range";

// Fills the store with distinct values: type x + 100 * y, height x + 0.5 * y.
void fillPattern(MapTypeAndHeight & store)
{
  for (uint32_t y = 0; y < store.size_y; ++y) {
    for (uint32_t x = 0; x < store.size_x; ++x) {
      store.types[x + y * store.size_x] = x + 100 * y;
      store.heights[x + y * store.size_x] = static_cast<float>(x) + 0.5f * static_cast<float>(y);
    }
  }
}

bool isEmptyCell(const MapTypeAndHeight & store, uint32_t index)
{
  return static_cast<unsigned int>(store.types[index]) == 0u &&
         store.heights[index] == kEmptyHeight;
}

// Every cell of the store is empty; names the first one that is not.
::testing::AssertionResult allEmpty(const MapTypeAndHeight & store)
{
  for (uint32_t i = 0; i < store.cellCount(); ++i) {
    if (!isEmptyCell(store, i)) {
      return ::testing::AssertionFailure() << "cell " << i << " is not empty";
    }
  }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------------------------
// Cell store

TEST(CellStore, NewStoreIsEmptyWithoutArrays)
{
  MapTypeAndHeight store;
  EXPECT_EQ(store.size_x, 0u);
  EXPECT_EQ(store.size_y, 0u);
  EXPECT_EQ(store.types, nullptr);
  EXPECT_EQ(store.heights, nullptr);
  store.resetMap();  // nothing to reset, must not touch memory
  EXPECT_EQ(store.types, nullptr);
}

TEST(CellStore, ResizeEmptiesEveryCellWithMinusInfinityHeight)
{
  MapTypeAndHeight store;
  store.resize(7, 3);
  ASSERT_EQ(store.size_x, 7u);
  ASSERT_EQ(store.size_y, 3u);
  ASSERT_TRUE(allEmpty(store));
  uint32_t bits = 0;
  std::memcpy(&bits, &store.heights[0], sizeof(bits));
  EXPECT_EQ(bits, 0xff800000u);
}

// Resizing to the same size keeps the arrays, any other size (even the same cell count) replaces
// them; either way, like resetMap(), every cell ends empty.
TEST(CellStore, ResizeAndResetEmptyEveryCell)
{
  MapTypeAndHeight store;
  store.resize(4, 5);
  fillPattern(store);
  const auto * types = store.types;
  const auto * heights = store.heights;
  store.resize(4, 5);
  EXPECT_EQ(store.types, types);
  EXPECT_EQ(store.heights, heights);
  EXPECT_TRUE(allEmpty(store));

  fillPattern(store);
  store.resize(5, 4);  // same cell count, other shape
  ASSERT_EQ(store.size_x, 5u);
  ASSERT_EQ(store.size_y, 4u);
  EXPECT_TRUE(allEmpty(store));
  fillPattern(store);
  store.resize(9, 9);
  EXPECT_TRUE(allEmpty(store));
  fillPattern(store);
  store.resetMap();
  EXPECT_TRUE(allEmpty(store));
  store.resize(0, 3);
  EXPECT_EQ(store.cellCount(), 0u);
}

class SetMapTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    source.resize(6, 5);
    fillPattern(source);
    dest.resize(8, 7);
  }

  MapTypeAndHeight source;
  MapTypeAndHeight dest;
};

TEST_F(SetMapTest, CopiesWindowRowByRowIntoPlace)
{
  test_util::ScopedCapture capture;
  dest.setMap(source, 1, 2, 4, 3, 3, 2);
  for (uint32_t y = 0; y < dest.size_y; ++y) {
    for (uint32_t x = 0; x < dest.size_x; ++x) {
      const uint32_t index = x + y * dest.size_x;
      const bool inside = x >= 4 && x < 7 && y >= 3 && y < 5;
      if (inside) {
        const uint32_t sx = x - 4 + 1;
        const uint32_t sy = y - 3 + 2;
        EXPECT_EQ(static_cast<unsigned int>(dest.types[index]), sx + 100 * sy);
        EXPECT_EQ(dest.heights[index], static_cast<float>(sx) + 0.5f * static_cast<float>(sy));
      } else {
        EXPECT_TRUE(isEmptyCell(dest, index)) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 0);
}

TEST_F(SetMapTest, WindowThatFitsExactlyIsCopied)
{
  test_util::ScopedCapture capture;
  dest.setMap(source, 0, 0, 2, 2, 6, 5);  // dest 2 + 6 == 8, 2 + 5 == 7
  EXPECT_EQ(static_cast<unsigned int>(dest.types[7 + 6 * 8]), 5u + 100u * 4u);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 0);
}

TEST_F(SetMapTest, WindowOneCellTooWideIsRejectedEverywhere)
{
  struct Window
  {
    uint32_t sx, sy, dx, dy, w, h;
  };
  const std::vector<Window> too_big{
      {1, 0, 0, 0, 6, 1},  // source x
      {0, 1, 0, 0, 1, 5},  // source y
      {0, 0, 3, 0, 6, 1},  // destination x
      {0, 0, 0, 3, 1, 5},  // destination y
  };
  for (const auto & w : too_big) {
    test_util::ScopedCapture capture;
    dest.setMap(source, w.sx, w.sy, w.dx, w.dy, w.w, w.h);
    EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 1);
    ASSERT_TRUE(allEmpty(dest));
  }
}

TEST_F(SetMapTest, CornerThatWouldWrapAroundIn32BitsIsRejected)
{
  // 0xffffffff + 2 wraps to 1 in 32-bit arithmetic and would pass a naive check.
  const uint32_t huge = std::numeric_limits<uint32_t>::max();
  const std::vector<std::vector<uint32_t>> windows{
      {huge, 0, 0, 0, 2, 1},
      {0, huge, 0, 0, 1, 2},
      {0, 0, huge, 0, 2, 1},
      {0, 0, 0, huge, 1, 2},
      {0, 0, 0, 0, huge, 1},
  };
  for (const auto & w : windows) {
    test_util::ScopedCapture capture;
    dest.setMap(source, w[0], w[1], w[2], w[3], w[4], w[5]);
    EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 1);
    ASSERT_TRUE(allEmpty(dest));
  }
}

TEST_F(SetMapTest, ZeroSizedWindowThatFitsCopiesNothingQuietly)
{
  test_util::ScopedCapture capture;
  dest.setMap(source, 6, 5, 8, 7, 0, 0);  // corners on the far edges, nothing to copy
  dest.setMap(source, 0, 0, 0, 0, 0, 3);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, kOutOfRange), 0);
  ASSERT_TRUE(allEmpty(dest));
}

// The rolling window's in-place move gives what copying the overlap out, emptying the store and
// copying it back gives, for every shift in and beyond a 7 x 5 store.
TEST(CellStore, MoveWindowMatchesCopyOutResetCopyBack)
{
  const int64_t size_x = 7;
  const int64_t size_y = 5;
  for (int64_t shift_x = -9; shift_x <= 9; ++shift_x) {
    for (int64_t shift_y = -7; shift_y <= 7; ++shift_y) {
      const int64_t ll_x = std::min(std::max<int64_t>(shift_x, 0), size_x);
      const int64_t ll_y = std::min(std::max<int64_t>(shift_y, 0), size_y);
      const int64_t ur_x = std::min(std::max<int64_t>(shift_x + size_x, 0), size_x);
      const int64_t ur_y = std::min(std::max<int64_t>(shift_y + size_y, 0), size_y);
      const auto width = static_cast<uint32_t>(ur_x - ll_x);
      const auto height = static_cast<uint32_t>(ur_y - ll_y);
      const auto dest_x = static_cast<uint32_t>(ll_x - shift_x);
      const auto dest_y = static_cast<uint32_t>(ll_y - shift_y);

      MapTypeAndHeight expected;
      expected.resize(size_x, size_y);
      fillPattern(expected);
      MapTypeAndHeight moved;
      moved.resize(size_x, size_y);
      fillPattern(moved);

      test_util::ScopedCapture capture;
      MapTypeAndHeight overlap;
      overlap.resize(width, height);
      overlap.setMap(expected, ll_x, ll_y, 0, 0, width, height);
      expected.resetMap();
      expected.setMap(overlap, 0, 0, dest_x, dest_y, width, height);
      const int reference_errors = countRecords(capture.records(), spdlog::level::err, kOutOfRange);

      moved.moveWindow(ll_x, ll_y, dest_x, dest_y, width, height);
      EXPECT_EQ(
          countRecords(capture.records(), spdlog::level::err, kOutOfRange), 2 * reference_errors)
          << shift_x << "," << shift_y;
      EXPECT_EQ(
          reference_errors, (std::abs(shift_x) > size_x || std::abs(shift_y) > size_y) ? 1 : 0)
          << shift_x << "," << shift_y;
      for (uint32_t i = 0; i < expected.cellCount(); ++i) {
        ASSERT_EQ(
            static_cast<unsigned int>(moved.types[i]), static_cast<unsigned int>(expected.types[i]))
            << shift_x << "," << shift_y << " cell " << i;
        ASSERT_EQ(std::memcmp(&moved.heights[i], &expected.heights[i], sizeof(float)), 0)
            << shift_x << "," << shift_y << " cell " << i;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Semantic grid and raster

TEST(SemanticGrid, ResizeStoresGeometryAndEmptiesCells)
{
  Grid grid;
  grid.resizeMap(3, 2, 0.05, -1.5, 2.5);
  EXPECT_EQ(grid.resolution, 0.05);
  EXPECT_EQ(grid.origin_x, -1.5);
  EXPECT_EQ(grid.origin_y, 2.5);
  EXPECT_EQ(grid.grid->size_x, 3u);
  EXPECT_EQ(grid.grid->size_y, 2u);
  grid.grid->types[4] = 8u;
  grid.grid->heights[4] = 1.0f;
  grid.resetMap();
  EXPECT_TRUE(server_test::allCellsEmpty(grid));
}

// 65540 x 65540 cells would wrap to 458,304 in 32 bits, while the indexes run up to 4.3e9.
TEST(SemanticGrid, SizeWhoseCellCountExceeds32BitsIsRefusedAndChangesNothing)
{
  test_util::ScopedCapture capture;
  Grid grid;
  grid.resizeMap(4, 5, 0.5, 1.0, 2.0);
  const auto * types = grid.grid->types;
  EXPECT_FALSE(grid.resizeMap(65540, 65540, 0.05, 0.0, 0.0));
  EXPECT_EQ(grid.grid->types, types);
  EXPECT_EQ(grid.grid->size_x, 4u);
  EXPECT_EQ(grid.resolution, 0.5);
  EXPECT_EQ(countRecords(capture.records(), spdlog::level::err, "refused 65540 x 65540 cells"), 1);
}

TEST(SemanticGrid, ResizeAndResetTakeTheGridMutex)
{
  Grid grid;
  std::unique_lock<std::mutex> held(grid.mutex);
  std::atomic<bool> done{false};
  std::thread resizer([&]() {
    grid.resizeMap(2, 2, 1.0, 0.0, 0.0);
    grid.resetMap();
    done = true;
  });
  // While the mutex is held the grid keeps its size; the resizer must wait for it.
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(done.load());
  EXPECT_EQ(grid.grid->size_x, 0u);
  held.unlock();
  resizer.join();
  EXPECT_TRUE(done.load());
  EXPECT_EQ(grid.grid->size_x, 2u);
}

TEST(Raster, FreesOnlyOwnedData)
{
  bool * borrowed = new bool[4]{true, false, true, false};
  {
    semantic_map::Gridmap<bool> raster;
    raster.size_x = 2;
    raster.size_y = 2;
    raster.data = borrowed;
    raster.owns_data = false;
  }
  // Still ours: reading and freeing it is valid (ASan reports a double free otherwise).
  EXPECT_TRUE(borrowed[2]);
  delete[] borrowed;

  auto owned = std::make_shared<semantic_map::Gridmap<bool>>();
  owned->data = new bool[6]();
  owned->owns_data = true;
  owned.reset();  // LeakSanitizer reports the array if it is kept
}

// ---------------------------------------------------------------------------------------------
// Layered map

TEST(LayeredMap, NewMapHasEmptyGridAndNoLayers)
{
  LayeredMap map("map", true, nullptr);
  EXPECT_EQ(map.global_frame, "map");
  EXPECT_TRUE(map.rolling_window);
  EXPECT_FALSE(map.initialized);
  EXPECT_FALSE(map.size_locked);
  EXPECT_TRUE(map.plugins.empty());
  Grid * handed = nullptr;
  map.getSemanticmap([&](Grid * grid) { handed = grid; });
  EXPECT_EQ(handed, &map.semanticmap);
  // A new grid has no resolution, its origin at zero and no cells.
  EXPECT_EQ(handed->resolution, 0.0);
  EXPECT_EQ(handed->origin_x, 0.0);
  EXPECT_EQ(handed->origin_y, 0.0);
  ASSERT_NE(handed->grid, nullptr);
  EXPECT_EQ(handed->grid->cellCount(), 0u);
  map.getSemanticmap();  // default callback does nothing
}

// Whether some thread holds @p mutex, asked from a fresh thread (the holder may be the caller).
bool heldNow(std::mutex & mutex)
{
  bool held = false;
  std::thread probe([&]() {
    held = !mutex.try_lock();
    if (!held) {
      mutex.unlock();
    }
  });
  probe.join();
  return held;
}

TEST(LayeredMap, CallbacksRunUnderTheOuterMutex)
{
  LayeredMap map("map", false, nullptr);
  map.plugins.push_back(std::make_shared<ScriptedLayer>());
  bool held_for_grid = false;
  bool held_for_layer = false;
  map.getSemanticmap([&](Grid *) { held_for_grid = heldNow(map.mutex); });
  map.forEachLayer(
      [&](std::shared_ptr<server_test::LayerBase> &) { held_for_layer = heldNow(map.mutex); });
  EXPECT_TRUE(held_for_grid);
  EXPECT_TRUE(held_for_layer);
  EXPECT_FALSE(heldNow(map.mutex));
}

TEST(LayeredMap, ForEachLayerVisitsInListOrderAndRejectsEmptyCallback)
{
  LayeredMap map("map", false, nullptr);
  for (const char * name : {"a", "b", "c"}) {
    auto layer = std::make_shared<ScriptedLayer>();
    layer->name = name;
    map.plugins.push_back(layer);
  }
  std::string order;
  map.forEachLayer([&](std::shared_ptr<server_test::LayerBase> & layer) { order += layer->name; });
  EXPECT_EQ(order, "abc");
  EXPECT_THROW(map.forEachLayer(nullptr), std::bad_function_call);

  LayeredMap empty("map", false, nullptr);
  EXPECT_NO_THROW(empty.forEachLayer(nullptr));
}

TEST(LayeredMap, ResizeWithoutLayersChangesOnlyTheGrid)
{
  LayeredMap map("map", false, nullptr);
  map.resizeMap(10, 20, 0.5, 1.0, 2.0);
  EXPECT_EQ(map.semanticmap.grid->size_x, 10u);
  EXPECT_EQ(map.semanticmap.grid->size_y, 20u);
  EXPECT_EQ(map.semanticmap.resolution, 0.5);
  EXPECT_EQ(map.semanticmap.origin_x, 1.0);
  EXPECT_EQ(map.semanticmap.origin_y, 2.0);
  EXPECT_FALSE(map.initialized);
  EXPECT_FALSE(map.size_locked);
  map.resizeMap(10, 20, 0.5, 1.0, 2.0, true);
  EXPECT_TRUE(map.size_locked);
}

TEST(LayeredMap, ResizeCallsMatchSizeInOrderAfterTheGridResizedWithGridMutexReleased)
{
  LayeredMap map("map", false, nullptr);
  std::vector<std::string> seen;
  for (const char * name : {"first", "second"}) {
    auto layer = std::make_shared<ScriptedLayer>();
    layer->name = name;
    ScriptedLayer * raw = layer.get();
    layer->on_match_size = [&map, &seen, raw]() {
      // The grid already has its new size, and its mutex is free to take.
      std::unique_lock<std::mutex> grid_lock(map.semanticmap.mutex, std::try_to_lock);
      seen.push_back(
          raw->name + ":" + std::to_string(map.semanticmap.grid->size_x) + ":" +
          (grid_lock.owns_lock() ? "free" : "held"));
    };
    map.plugins.push_back(layer);
  }
  map.resizeMap(12, 3, 1.0, 0.0, 0.0);
  EXPECT_EQ(seen, (std::vector<std::string>{"first:12:free", "second:12:free"}));
}

TEST(LayeredMap, DestructionReleasesLayersFromLastToFirstUnderTheOuterMutex)
{
  std::vector<std::string> destroyed;
  auto map = std::make_unique<LayeredMap>("map", false, nullptr);
  bool outer_held_each_time = true;
  for (const char * name : {"one", "two", "three"}) {
    auto layer = std::make_shared<ScriptedLayer>();
    layer->name = name;
    ScriptedLayer * raw = layer.get();
    LayeredMap * owner = map.get();
    layer->on_destroy = [&destroyed, &outer_held_each_time, raw, owner]() {
      destroyed.push_back(raw->name);
      outer_held_each_time = outer_held_each_time && heldNow(owner->mutex);
    };
    map->plugins.push_back(layer);
  }
  map.reset();
  EXPECT_EQ(destroyed, (std::vector<std::string>{"three", "two", "one"}));
  EXPECT_TRUE(outer_held_each_time);
}

TEST(LayeredMap, LayerSharedElsewhereOutlivesTheMap)
{
  auto keeper = std::make_shared<ScriptedLayer>();
  bool destroyed = false;
  keeper->on_destroy = [&destroyed]() { destroyed = true; };
  {
    LayeredMap map("map", false, nullptr);
    map.plugins.push_back(keeper);
  }
  EXPECT_FALSE(destroyed);
  keeper.reset();
  EXPECT_TRUE(destroyed);
}

TEST(LayerBase, DefaultsAndParameterNames)
{
  ScriptedLayer layer;
  layer.name = "marks";
  EXPECT_EQ(layer.getFullName("enabled"), "marks.enabled");
  EXPECT_FALSE(layer.current);
  EXPECT_FALSE(layer.enabled.load());
  bool flag = true;
  layer.server_test::LayerBase::onInitialize(flag);
  EXPECT_FALSE(flag);
  EXPECT_THROW(layer.declareParameter("x", rclcpp::ParameterValue(1)), std::runtime_error);
  EXPECT_TRUE(layer.local_params.empty());
}

}  // namespace
