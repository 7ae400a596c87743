// A zone set of 50 narrow corridors (30 circle lists, 20 blocks) spread over a 100 m x 100 m map,
// rasterised at the resolution of a 2000 x 2000 grid (0.05 m) and drawn onto such a grid the way
// the static-mark layer does: every set raster cell's centre ORs a flag into the grid cell under
// it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "brindlex_nav2_semanticmap/gridmap.hpp"
#include "trasque/block.hpp"
#include "trasque/circle_list.hpp"

namespace {

constexpr double kResolution = 0.05;
constexpr uint32_t kGridCells = 2000;
constexpr uint32_t kNarrowCorridor = 32;

using ZoneSet = std::vector<std::shared_ptr<trasque::Base>>;

ZoneSet makeZoneSet()
{
  std::mt19937 random(50);
  std::uniform_real_distribution<double> place(5.0, 95.0);
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI);
  std::uniform_real_distribution<double> side(1.5, 4.0);
  ZoneSet zones;
  for (int i = 0; i < 30; ++i) {
    // A corridor of 12 discs of 0.4 m, 0.3 m apart.
    const double x = place(random);
    const double y = place(random);
    const double a = angle(random);
    std::vector<trasque::NonIdealPlanePoint> discs;
    for (int k = 0; k < 12; ++k) {
      discs.push_back({x + 0.3 * k * std::cos(a), y + 0.3 * k * std::sin(a), 0.4});
    }
    zones.push_back(std::make_shared<trasque::CircleList>(
        discs, trasque::Type::NARROW_CORRIDOR, "c" + std::to_string(i)));
  }
  for (int i = 0; i < 20; ++i) {
    // A rotated rectangle of 1.5 m to 4 m a side.
    const double x = place(random);
    const double y = place(random);
    const double a = angle(random);
    const double w = side(random);
    const double h = side(random);
    const double c = std::cos(a);
    const double s = std::sin(a);
    std::vector<trasque::NonIdealPlanePoint> corners;
    for (const auto & [u, v] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}}) {
      corners.push_back({x + u * c - v * s, y + u * s + v * c, 0.0});
    }
    zones.push_back(std::make_shared<trasque::Block>(
        corners, trasque::Type::NARROW_CORRIDOR, "b" + std::to_string(i)));
  }
  return zones;
}

struct Grid
{
  Grid()
  {
    map.size_x = kGridCells;
    map.size_y = kGridCells;
    map.resolution = kResolution;
    map.data = new uint32_t[static_cast<size_t>(kGridCells) * kGridCells]();
  }
  semantic_map::Gridmap<uint32_t> map;
};

// The static-mark layer's drawing loop.
void draw(const semantic_map::Gridmap<bool> & raster, semantic_map::Gridmap<uint32_t> & grid)
{
  for (uint32_t i = 0; i < raster.size_y; ++i) {
    for (uint32_t j = 0; j < raster.size_x; ++j) {
      if (!raster.data[i * raster.size_x + j]) {
        continue;
      }
      const double wx = (j + 0.5) * raster.resolution + raster.origin_x;
      const double wy = (i + 0.5) * raster.resolution + raster.origin_y;
      if (wx < grid.origin_x || wy < grid.origin_y) {
        continue;
      }
      const auto mx = static_cast<uint32_t>((wx - grid.origin_x) / grid.resolution);
      const auto my = static_cast<uint32_t>((wy - grid.origin_y) / grid.resolution);
      if (mx >= grid.size_x || my >= grid.size_y) {
        continue;
      }
      grid.data[mx + my * grid.size_x] |= kNarrowCorridor;
    }
  }
}

// Rasterising a fresh zone set, as after every load.
void rasteriseZoneSet(benchmark::State & state)
{
  int64_t cells = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ZoneSet zones = makeZoneSet();
    state.ResumeTiming();
    for (const auto & zone : zones) {
      auto raster = zone->getGrid(kResolution);
      cells += static_cast<int64_t>(raster->size_x) * raster->size_y;
    }
    state.PauseTiming();
    zones.clear();
    state.ResumeTiming();
  }
  state.counters["raster_cells"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kAvgIterations);
}
BENCHMARK(rasteriseZoneSet)->Unit(benchmark::kMicrosecond);

// Asking a loaded zone set for its rasters again: the per-cycle cost while nothing changes.
void cachedZoneSet(benchmark::State & state)
{
  ZoneSet zones = makeZoneSet();
  for (auto _ : state) {
    for (const auto & zone : zones) {
      benchmark::DoNotOptimize(zone->getGrid(kResolution));
    }
  }
}
BENCHMARK(cachedZoneSet)->Unit(benchmark::kMicrosecond);

// Rasterising a fresh zone set and drawing it onto the 2000 x 2000 grid.
void rasteriseAndDrawZoneSet(benchmark::State & state)
{
  Grid grid;
  for (auto _ : state) {
    state.PauseTiming();
    ZoneSet zones = makeZoneSet();
    state.ResumeTiming();
    for (const auto & zone : zones) {
      draw(*zone->getGrid(kResolution), grid.map);
    }
    state.PauseTiming();
    zones.clear();
    state.ResumeTiming();
  }
  benchmark::DoNotOptimize(grid.map.data);
}
BENCHMARK(rasteriseAndDrawZoneSet)->Unit(benchmark::kMicrosecond);

// Drawing the cached rasters: what a rolling-window grid pays every cycle.
void drawCachedZoneSet(benchmark::State & state)
{
  Grid grid;
  ZoneSet zones = makeZoneSet();
  for (auto _ : state) {
    for (const auto & zone : zones) {
      draw(*zone->getGrid(kResolution), grid.map);
    }
  }
  benchmark::DoNotOptimize(grid.map.data);
  size_t marked = 0;
  for (size_t i = 0; i < static_cast<size_t>(kGridCells) * kGridCells; ++i) {
    marked += grid.map.data[i] != 0 ? 1 : 0;
  }
  state.counters["grid_cells_marked"] = static_cast<double>(marked);
}
BENCHMARK(drawCachedZoneSet)->Unit(benchmark::kMicrosecond);

}  // namespace
