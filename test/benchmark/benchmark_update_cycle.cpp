// One semantic update cycle of a layered map with a rolling window and no layers, beside the plain
// pass over the same two arrays (reset both, copy both) that bounds this work from below.
//   build/test/benchmark/benchmark_update_cycle
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"

namespace {

using Grid = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMap = semantic_map::LayeredSemanticmap<Grid>;

void setBytes(benchmark::State & state, int64_t cells)
{
  // Both arrays, 4 bytes a cell each.
  state.SetBytesProcessed(state.iterations() * cells * 8);
  state.counters["cells"] = static_cast<double>(cells);
}

// The cycle with the robot standing still at the grid's centre (no shift: the common case).
void BM_RollingCycleStill(benchmark::State & state)
{
  const auto size = static_cast<uint32_t>(state.range(0));
  LayeredMap map("map", true, nullptr);
  map.resizeMap(size, size, 0.05, 0.0, 0.0);
  const double centre = size * 0.05 * 0.5;
  map.updateMap(centre, centre, 0.0);
  for (auto _ : state) {
    map.updateMap(centre, centre, 0.0);
    benchmark::DoNotOptimize(map.semanticmap.grid->types);
    benchmark::ClobberMemory();
  }
  setBytes(state, static_cast<int64_t>(size) * size);
}

// The cycle with the robot moving one cell a cycle (a shift each time).
void BM_RollingCycleMoving(benchmark::State & state)
{
  const auto size = static_cast<uint32_t>(state.range(0));
  LayeredMap map("map", true, nullptr);
  map.resizeMap(size, size, 0.05, 0.0, 0.0);
  double x = size * 0.05 * 0.5;
  const double y = x;
  map.updateMap(x, y, 0.0);
  for (auto _ : state) {
    x += 0.05;
    map.updateMap(x, y, 0.0);
    benchmark::DoNotOptimize(map.semanticmap.grid->types);
    benchmark::ClobberMemory();
  }
  setBytes(state, static_cast<int64_t>(size) * size);
}

// The floor: reset both arrays of the grid and copy both into a second pair.
void BM_ResetAndCopyFloor(benchmark::State & state)
{
  const auto size = static_cast<uint32_t>(state.range(0));
  const size_t cells = static_cast<size_t>(size) * size;
  std::vector<uint32_t> types(cells, 0u);
  std::vector<float> heights(cells, 0.0f);
  std::vector<uint32_t> types_copy(cells);
  std::vector<float> heights_copy(cells);
  for (auto _ : state) {
    std::memcpy(types_copy.data(), types.data(), cells * sizeof(uint32_t));
    std::memcpy(heights_copy.data(), heights.data(), cells * sizeof(float));
    std::fill(types.begin(), types.end(), 0u);
    std::fill(heights.begin(), heights.end(), -std::numeric_limits<float>::infinity());
    benchmark::DoNotOptimize(types_copy.data());
    benchmark::DoNotOptimize(heights_copy.data());
    benchmark::ClobberMemory();
  }
  setBytes(state, static_cast<int64_t>(cells));
}

BENCHMARK(BM_ResetAndCopyFloor)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RollingCycleStill)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RollingCycleMoving)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
