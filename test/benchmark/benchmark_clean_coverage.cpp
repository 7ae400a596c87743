// One update cycle of the clean-coverage layer on a 2000 x 2000 grid (0.05 m cells) after a 2 km
// cleaning run of 22 lanes across the whole map: straightening, raster redraw and the marking of
// the window around the path. Beside it, the floor of any such cycle: clearing the raster and
// reading the same window of the grid once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/clean_coverage_layer.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace {

using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;
using semantic_map::CleanCoverageLayer;
using CostmapLock = std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t>;

constexpr uint32_t kSize = 2000;
constexpr double kResolution = 0.05;
constexpr double kLaneStart = 4.0;  // m
constexpr double kLaneEnd = 95.0;   // m
constexpr int kLanes = 22;          // 22 lanes of 91 m plus the turns: about 2 km
constexpr double kLaneSpacing = 4.2;

struct Scene
{
  Scene()
      : node(std::make_shared<rclcpp_lifecycle::LifecycleNode>("benchmark_clean_coverage")),
        map(std::make_shared<LayeredMapT>("map", false, nullptr)),
        layer(std::make_shared<CleanCoverageLayer>())
  {
    map->resizeMap(kSize, kSize, kResolution, 0.0, 0.0);
    node->declare_parameter("coverage.trigger_srv_name", std::string("/benchmark_trigger"));
    node->declare_parameter(
        "coverage.get_covered_points_srv_name", std::string("/benchmark_points"));
    layer->layered_semanticmap = map.get();
    layer->name = "coverage";
    layer->node = node;
    layer->clock = node->get_clock();
    bool enabled = false;
    layer->onInitialize(enabled);
    layer->enabled = enabled;
    layer->active = true;
    {
      std::lock_guard<std::mutex> lock(map->mutex);
      map->plugins.push_back(layer);
    }
    traceRun();
  }

  // The path part of every cycle of the run, one cell of travel per cycle, without the raster.
  void traceRun()
  {
    CostmapLock lock(*layer->getMutex());
    const auto visit = [this](double x, double y, double yaw) {
      layer->robot_x = x;
      layer->robot_y = y;
      layer->robot_yaw = yaw;
      layer->addRobotPoseToPath();
      if (layer->clean_path.size() > 4) {
        layer->pathStraightening(
            layer->local_optimize_length, layer->local_index, layer->local_optimize_epsilon);
        layer->keepIndicesOnPath();
        layer->pathStraightening(
            layer->global_optimize_length, layer->global_index, layer->global_optimize_epsilon);
        layer->keepIndicesOnPath();
      }
    };
    double y = kLaneStart;
    for (int lane = 0; lane < kLanes; ++lane) {
      const bool forward = lane % 2 == 0;
      for (double s = 0.0; s <= kLaneEnd - kLaneStart; s += kResolution) {
        const double x = forward ? kLaneStart + s : kLaneEnd - s;
        travelled += kResolution;
        visit(x, y, forward ? 0.0 : M_PI);
      }
      for (double s = 0.0; s < kLaneSpacing && lane + 1 < kLanes; s += kResolution) {
        travelled += kResolution;
        visit(forward ? kLaneEnd : kLaneStart, y + s, M_PI / 2);
      }
      y += kLaneSpacing;
    }
    robot_y = y - kLaneSpacing;
    robot_x = kLanes % 2 == 0 ? kLaneStart : kLaneEnd;
  }

  rclcpp_lifecycle::LifecycleNode::SharedPtr node;
  std::shared_ptr<LayeredMapT> map;
  std::shared_ptr<CleanCoverageLayer> layer;
  double travelled{0.0};
  double robot_x{0.0};
  double robot_y{0.0};
};

Scene & scene()
{
  static Scene instance;
  return instance;
}

// Whole cycles of the layered map: the robot keeps driving along the last lane, one cell a cycle,
// turning at the lane's ends.
void BM_CleanCoverageCycle(benchmark::State & state)
{
  Scene & s = scene();
  double x = s.robot_x;
  double direction = 1.0;
  for (auto _ : state) {
    x += direction * kResolution;
    if (x > kLaneEnd || x < kLaneStart) {
      direction = -direction;
    }
    s.map->updateMap(x, s.robot_y, direction > 0 ? 0.0 : M_PI);
  }
  CostmapLock lock(*s.layer->getMutex());
  state.counters["path_points"] = static_cast<double>(s.layer->clean_path.size());
  state.counters["path_m"] = s.travelled;
}
BENCHMARK(BM_CleanCoverageCycle)->Unit(benchmark::kMillisecond);

// Clears the raster and reads the grid's type words once over the window the layer asks for.
void BM_ClearAndReadWindowBaseline(benchmark::State & state)
{
  Scene & s = scene();
  double bounds[4] = {
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::lowest(),
      std::numeric_limits<double>::lowest()};
  {
    std::lock_guard<std::mutex> lock(s.map->mutex);
    s.layer->updateBounds(
        s.robot_x, s.robot_y, 0.0, &bounds[0], &bounds[1], &bounds[2], &bounds[3]);
  }
  const auto cell = [](double w) {
    return static_cast<int>(std::clamp(std::floor(w / kResolution), 0.0, double(kSize)));
  };
  const int x0 = cell(bounds[0]);
  const int y0 = cell(bounds[1]);
  const int xn = cell(bounds[2]);
  const int yn = cell(bounds[3]);
  cv::Mat raster = cv::Mat::zeros(kSize, kSize, CV_8UC1);
  GridT & grid = s.map->semanticmap;
  for (auto _ : state) {
    raster.setTo(0);
    std::lock_guard<std::mutex> lock(grid.mutex);
    unsigned int sum = 0;
    for (int y = y0; y < yn; ++y) {
      const auto * row = grid.grid->types + static_cast<std::size_t>(y) * kSize;
      for (int x = x0; x < xn; ++x) {
        sum += row[x].value;
      }
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(raster.data);
  }
  state.counters["window_cells"] = static_cast<double>(xn - x0) * (yn - y0);
}
BENCHMARK(BM_ClearAndReadWindowBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(0, nullptr);
  ::benchmark::Initialize(&argc, argv);
  ::benchmark::RunSpecifiedBenchmarks();
  ::benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
