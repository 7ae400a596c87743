// Full obstacle grid of a 2000 x 2000 semantic grid, built and handed to a subscribed publisher,
// beside a plain table lookup of the master costs of the same cells (the floor for any
// translation).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/obstacle_map_publish_layer.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace {

using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;
constexpr uint32_t kSize = 2000;

// Random master costs everywhere; one cell in ten carries a semantic flag.
struct Scene
{
  Scene()
      : map(std::make_shared<LayeredMapT>("map", false, nullptr)),
        master(kSize, kSize, 0.05, 0.0, 0.0)
  {
    map->resizeMap(kSize, kSize, 0.05, 0.0, 0.0);
    map->initialized = true;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cost(0, 255);
    std::uniform_int_distribution<int> flag(0, 12);
    std::uniform_int_distribution<int> tenth(0, 9);
    auto & store = *map->semanticmap.grid;
    unsigned char * costs = master.getCharMap();
    for (uint32_t i = 0; i < kSize * kSize; ++i) {
      costs[i] = static_cast<unsigned char>(cost(random));
      if (tenth(random) == 0) {
        store.types[i] = 1u << flag(random);
      }
    }
  }

  std::shared_ptr<LayeredMapT> map;
  nav2_costmap_2d::Costmap2D master;
};

Scene & scene()
{
  static Scene instance;
  return instance;
}

void BM_FullObstacleGrid(benchmark::State & state)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("benchmark_obstacle_map");
  node->declare_parameter("obstacles.topic_name", std::string("/benchmark_obstacle_map"));
  auto sub_node = std::make_shared<rclcpp::Node>("benchmark_subscriber");
  auto subscription = sub_node->create_subscription<nav_msgs::msg::OccupancyGrid>(
      "/benchmark_obstacle_map",
      rclcpp::QoS(1).transient_local().reliable(),
      [](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) {});

  Scene & s = scene();
  semantic_map::ObstacleMapPublishLayer layer;
  layer.layered_semanticmap = s.map.get();
  layer.name = "obstacles";
  layer.node = node;
  layer.clock = node->get_clock();
  bool enabled = false;
  layer.onInitialize(enabled);
  layer.enabled = enabled;
  layer.always_send_full_map = true;
  layer.activate();
  for (auto _ : state) {
    layer.last_publish_time = rclcpp::Time(0, 0, RCL_ROS_TIME);
    std::lock_guard<std::mutex> lock(s.map->mutex);
    layer.updateMaps(&s.map->semanticmap, &s.master, 0, 0, kSize, kSize);
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_FullObstacleGrid)->Unit(benchmark::kMillisecond);

void BM_TableLookupPass(benchmark::State & state)
{
  Scene & s = scene();
  const auto & table = semantic_map::ObstacleMapPublishLayer::costTranslationTable();
  const unsigned char * costs = s.master.getCharMap();
  std::vector<int8_t> out(static_cast<size_t>(kSize) * kSize);
  for (auto _ : state) {
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = table[costs[i]];
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_TableLookupPass)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(0, nullptr);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
