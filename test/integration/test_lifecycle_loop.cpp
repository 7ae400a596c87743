// Both server nodes with every shipped layer (zones, clean coverage, depth camera, both map
// publishers), taken up and down again and again while a robot
// drives and publishes TF: configure, activate, a random active period with an occasional map
// reset or new-map announcement, sometimes a deactivate and activate again, deactivate, cleanup.
// The two nodes run their sequences on threads of their own, as lifecycle requests from outside
// would. Meant for the sanitizer builds as well.
//
// BRINDLEX_LIFECYCLE_LOOPS sets the number of loops (50 by default; tools/soak.sh runs 1,000) and
// BRINDLEX_LIFECYCLE_SEED the random seed (printed, so that a failing run can be repeated).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "server_test_helpers.hpp"
#include "simulated_cameras.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"

namespace {

using namespace std::chrono_literals;
using lifecycle_msgs::msg::State;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using NodeT = semantic_map::SemanticmapROS<GridT>;
using LayerPtr = std::shared_ptr<semantic_map::BrindlexLayer>;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

// Loaded sanitizer builds take their time over a whole lifecycle transition.
template <typename Pred>
bool waitFor(Pred pred)
{
  return server_test::waitFor(pred, 30s);
}

unsigned long environmentNumber(const char * name, unsigned long fallback)
{
  const char * value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::stoul(value) : fallback;
}

/// A robot driving a circle of 1 m radius: map -> odom (static), odom -> base_link at 20 Hz.
class DrivingRobot
{
public:
  DrivingRobot()
      : node_(std::make_shared<rclcpp::Node>("loop_robot")),
        static_broadcaster_(node_),
        broadcaster_(node_)
  {
    static_broadcaster_.sendTransform(
        demo::toTransform(demo::toIsometry({1.0, 0.0, 0.0}), node_->now(), "map", "odom"));
    publish();
    timer_ = node_->create_wall_timer(50ms, [this]() { publish(); });
    executor_.add_node(node_);
    thread_ = std::thread([this]() { executor_.spin(); });
  }

  ~DrivingRobot()
  {
    while (!executor_.is_spinning()) {
      std::this_thread::sleep_for(1ms);
    }
    executor_.cancel();
    thread_.join();
  }

  rclcpp::Node::SharedPtr node() const { return node_; }

private:
  void publish()
  {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double angle = 2.0 * M_PI * t / 20.0;
    broadcaster_.sendTransform(demo::toTransform(
        demo::toIsometry({std::cos(angle), std::sin(angle), angle + M_PI / 2.0}),
        node_->now(),
        "odom",
        "base_link"));
  }

  rclcpp::Node::SharedPtr node_;
  tf2_ros::StaticTransformBroadcaster static_broadcaster_;
  tf2_ros::TransformBroadcaster broadcaster_;
  rclcpp::TimerBase::SharedPtr timer_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::thread thread_;
  const std::chrono::steady_clock::time_point start_{std::chrono::steady_clock::now()};
};

// As in the example configuration: the clean-coverage layer (whose services have fixed names) in
// the global node only.
const std::vector<std::string> kGlobalLayers{
    "zones", "coverage", "cameras", "obstacle_map", "covered_map"};
const std::vector<std::string> kLocalLayers{"zones", "cameras", "obstacle_map", "covered_map"};

/// A server node set up as in the example configuration, with every shipped layer.
std::shared_ptr<NodeT> makeNode(const std::string & name, bool rolling)
{
  auto node = std::make_shared<NodeT>(name);
  node->set_parameter(rclcpp::Parameter("global_frame", std::string(rolling ? "odom" : "map")));
  node->set_parameter(rclcpp::Parameter("robot_base_frame", std::string("base_link")));
  node->set_parameter(rclcpp::Parameter("rolling_window", rolling));
  node->set_parameter(rclcpp::Parameter("width", rolling ? 4 : 12));
  node->set_parameter(rclcpp::Parameter("height", rolling ? 4 : 12));
  node->set_parameter(rclcpp::Parameter("resolution", 0.05));
  node->set_parameter(rclcpp::Parameter("origin_x", rolling ? 0.0 : -5.0));
  node->set_parameter(rclcpp::Parameter("origin_y", rolling ? 0.0 : -6.0));
  node->set_parameter(rclcpp::Parameter("update_frequency", 40.0));
  node->set_parameter(rclcpp::Parameter("publish_frequency", 10.0));
  node->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{"marks"}));
  node->declare_parameter("marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
  node->declare_parameter("marks.mark_points", std::vector<double>{0.5, 0.5, 0.55, 0.5});
  node->set_parameter(
      rclcpp::Parameter("semanticmap_plugins", rolling ? kLocalLayers : kGlobalLayers));
  node->declare_parameter("zones.plugin", std::string("semantic_map::StaticMarkLayer"));
  node->declare_parameter("zones.map_path_str", std::string(LOOP_MAP_DIR));
  if (!rolling) {
    node->declare_parameter("coverage.plugin", std::string("semantic_map::CleanCoverageLayer"));
  }
  // One depth camera whose calibration and clouds never come: its frustum thread keeps asking.
  node->declare_parameter("cameras.plugin", std::string("semantic_map::VelnorLayer"));
  node->declare_parameter("cameras.frustum_list", std::string("camera"));
  node->declare_parameter("cameras.camera.camera_info_topic", "/" + name + "/camera_info");
  node->declare_parameter("cameras.observation_list", std::string("points"));
  node->declare_parameter("cameras.points.topic_name", "/" + name + "/semantic_points");
  node->declare_parameter("cameras.points.msg_type", std::string("SemanticPointCloud"));
  node->declare_parameter("cameras.points.frustum_name", std::string("camera"));
  node->declare_parameter("cameras.points.marking", true);
  for (const auto & [layer, type] :
       {std::pair<std::string, std::string>{"obstacle_map", "semantic_map::ObstacleMapPublishLayer"},
        {"covered_map", "semantic_map::CoveredMapPublishLayer"}}) {
    node->declare_parameter(layer + ".plugin", type);
    node->declare_parameter(layer + ".topic_name", "/" + name + "/" + layer);
    node->declare_parameter(layer + ".map_publish_frequency", 20.0);
  }
  return node;
}

/// Counts the full grids that arrive on one topic.
class GridCounter
{
public:
  GridCounter(const rclcpp::Node::SharedPtr & node, const std::string & topic)
  {
    subscription_ = node->create_subscription<nav_msgs::msg::OccupancyGrid>(
        topic,
        rclcpp::QoS(rclcpp::KeepLast(1)).transient_local().reliable(),
        [this](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) { ++count_; });
  }

  int count() const { return count_.load(); }

private:
  rclcpp::Subscription<nav_msgs::msg::OccupancyGrid>::SharedPtr subscription_;
  std::atomic<int> count_{0};
};

std::vector<std::string> layerNames(NodeT & node)
{
  std::vector<std::string> names;
  if (auto map = node.getLayeredSemanticmap()) {
    map->forEachLayer([&](LayerPtr & layer) { names.push_back(layer->name); });
  }
  return names;
}

// The layered map's initialised flag (set by the update thread), read under its outer mutex.
bool cycled(NodeT & node)
{
  auto map = node.getLayeredSemanticmap();
  bool initialized = false;
  map->getSemanticmap([&](GridT *) { initialized = map->initialized; });
  return initialized;
}

// Whether the grid follows the master costmap and, for a node with zones in view, shows them.
bool gridFollowsCostmap(NodeT & node, bool zones_expected)
{
  auto map = node.getLayeredSemanticmap();
  bool follows = false;
  map->getSemanticmap([&](GridT * grid) {
    std::lock_guard<std::mutex> lock(grid->mutex);
    auto * master = node.getLayeredCostmap()->getCostmap();
    follows = grid->grid->size_x == master->getSizeInCellsX() &&
              grid->grid->size_y == master->getSizeInCellsY() &&
              grid->resolution == master->getResolution();
    if (follows && zones_expected) {
      const unsigned int corridor = semantic_map::SemanticFlags::NARROW_CORRIDOR;
      bool any = false;
      for (uint32_t i = 0; i < grid->grid->cellCount() && !any; ++i) {
        any = (static_cast<unsigned int>(grid->grid->types[i]) & corridor) != 0u;
      }
      follows = any;
    }
  });
  return follows;
}

/**
 * One loop of one node, with its own random stream: configure, activate, a random active period
 * with an occasional map reset or new-map announcement, sometimes deactivate and activate again,
 * deactivate, cleanup; every step is checked. Returns a description of the first failure, or an
 * empty string.
 */
std::string runLoop(NodeT & node, bool zones_expected, std::mt19937 & random)
{
  std::uniform_int_distribution<int> active_ms(0, 60);
  std::uniform_int_distribution<int> percent(0, 99);
  const std::string name = node.get_name();

  // The very first configure of the two nodes ran one after the other before the loops.
  if (node.get_current_state().id() == State::PRIMARY_STATE_UNCONFIGURED &&
      node.configure().id() != State::PRIMARY_STATE_INACTIVE) {
    return name + ": configure failed";
  }
  if (layerNames(node) != (zones_expected ? kGlobalLayers : kLocalLayers)) {
    return name + ": configure did not load the layers in order";
  }
  // Activation polls for the robot's transform twice a second; the new TF buffer has it as soon
  // as the next transform arrives.
  const auto tf = node.getTfBuffer();
  if (!waitFor([&]() {
        return tf->canTransform(
            node.getGlobalFrameID(), node.getBaseFrameID(), tf2::TimePointZero);
      })) {
    return name + ": no robot transform";
  }
  const int rounds = percent(random) < 25 ? 2 : 1;
  for (int round = 0; round < rounds; ++round) {
    if (node.activate().id() != State::PRIMARY_STATE_ACTIVE) {
      return name + ": activate failed";
    }
    // The first semantic cycle after activation, then the grid in step with the costmap.
    if (!waitFor([&]() { return cycled(node); })) {
      return name + ": no update cycle after activate";
    }
    if (!waitFor([&]() { return gridFollowsCostmap(node, zones_expected); })) {
      return name + ": grid does not follow the costmap or misses the zones";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(active_ms(random)));
    const int event = percent(random);
    if (event < 20) {
      node.resetMap();
    } else if (event < 30) {
      node.LoadNewMap();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(active_ms(random)));
    if (node.deactivate().id() != State::PRIMARY_STATE_INACTIVE) {
      return name + ": deactivate failed";
    }
  }
  if (node.cleanup().id() != State::PRIMARY_STATE_UNCONFIGURED) {
    return name + ": cleanup failed";
  }
  if (node.getLayeredSemanticmap() != nullptr) {
    return name + ": cleanup kept the layered map";
  }
  return "";
}

TEST(LifecycleLoop, BothNodesWithEveryShippedLayerUpAndDownAgain)
{
  const unsigned long loops = environmentNumber("BRINDLEX_LIFECYCLE_LOOPS", 50);
  const unsigned long seed = environmentNumber("BRINDLEX_LIFECYCLE_SEED", std::random_device()());
  std::cout << "lifecycle loop: " << loops << " loops, BRINDLEX_LIFECYCLE_SEED=" << seed
            << std::endl;
  RecordProperty("seed", std::to_string(seed));

  DrivingRobot robot;
  auto global = makeNode("loop_global", false);
  auto local = makeNode("loop_local", true);
  std::vector<std::unique_ptr<GridCounter>> grids;
  for (const std::string node : {"loop_global", "loop_local"}) {
    for (const std::string layer : {"obstacle_map", "covered_map"}) {
      grids.push_back(std::make_unique<GridCounter>(robot.node(), "/" + node + "/" + layer));
    }
  }
  // Spins both nodes on a two-thread executor, as the server does, until the test ends.
  struct Spinner
  {
    std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor{
        std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
            rclcpp::ExecutorOptions(), 2, true)};
    std::thread thread;
    ~Spinner()
    {
      while (!executor->is_spinning()) {
        std::this_thread::sleep_for(1ms);
      }
      executor->cancel();
      thread.join();
    }
  } spinner;
  spinner.executor->add_node(global->get_node_base_interface());
  spinner.executor->add_node(local->get_node_base_interface());
  spinner.thread = std::thread([&]() { spinner.executor->spin(); });

  // Leaves both nodes unconfigured however the test ends: their layers hold subscriptions that the
  // executor may still serve.
  struct TakeDown
  {
    NodeT & node;
    ~TakeDown()
    {
      if (node.get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
        node.deactivate();
      }
      if (node.get_current_state().id() == State::PRIMARY_STATE_INACTIVE) {
        node.cleanup();
      }
    }
  } take_down_global{*global}, take_down_local{*local};

  // The first configure of each node loads the plug-in library into that node's plug-in loader;
  // as in the server's start-up, one after the other: class_loader does not support two loaders
  // opening the same library at the same moment.
  ASSERT_EQ(global->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(local->configure().id(), State::PRIMARY_STATE_INACTIVE);

  std::mt19937 global_random(static_cast<std::mt19937::result_type>(seed));
  std::mt19937 local_random(static_cast<std::mt19937::result_type>(seed + 1));
  for (unsigned long loop = 0; loop < loops; ++loop) {
    auto local_run =
        std::async(std::launch::async, [&]() { return runLoop(*local, false, local_random); });
    const std::string global_failure = runLoop(*global, true, global_random);
    const std::string local_failure = local_run.get();
    ASSERT_EQ(global_failure, "") << "loop " << loop << ", seed " << seed;
    ASSERT_EQ(local_failure, "") << "loop " << loop << ", seed " << seed;
  }

  // Every published map reached its subscriber at least once.
  for (const auto & grid : grids) {
    EXPECT_TRUE(waitFor([&]() { return grid->count() > 0; }));
  }
}

}  // namespace
