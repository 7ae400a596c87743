// The depth-camera layer end to end, in one process: both semantic map nodes load it by class name,
// the demo's simulated cameras ray-cast the demo room into SemanticPointCloud and CameraInfo
// messages, and TF carries map -> odom -> base_link -> camera frames. What the cameras see reaches
// the grids and the obstacle map; the room map keeps it until the view frustums see it gone; the
// local map withdraws it by distance and by age; lifecycle transitions run while clouds flow.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_velnor/velnor_cache_master.hpp"
#include "demo_world.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "server_test_helpers.hpp"
#include "simulated_cameras.hpp"
#include "tf2_ros/transform_broadcaster.h"

namespace {

using namespace std::chrono_literals;
using server_test::Grid;
using server_test::ServerNode;
using server_test::waitFor;
using State = lifecycle_msgs::msg::State;

constexpr unsigned int kStatic = 1;
constexpr unsigned int kPerson = 8;
constexpr auto kWait = 60s;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

// The robot of the test: it stands where the test puts it (odom frame), publishes its TF at 20 Hz
// and carries the demo's two cameras (160 x 120 at 10 Hz) in a world whose clock the test sets.
class ScriptedRobot
{
public:
  ScriptedRobot()
      : node(std::make_shared<rclcpp::Node>("scripted_robot")),
        static_broadcaster(node),
        broadcaster(node)
  {
    static_broadcaster.sendTransform(
        demo::toTransform(demo::toIsometry(demo::kOdomInMap), node->now(), "map", "odom"));
    publishPose();
    thread = std::thread([this]() { run(); });
    for (size_t index = 0; index < cameras.size(); ++index) {
      startCamera(index);
    }
  }

  ~ScriptedRobot()
  {
    cameras = {};
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    wake.notify_all();
    thread.join();
  }

  /// Moves the robot at once and leaves its cameras off (startCamera). No frame is ray-cast from
  /// one pose and placed with the other, or with one in between: the cameras stop first, and the
  /// old pose's last transform and the new pose's first are stamped 1 ns apart.
  void moveTo(const demo::Pose2D & new_pose)
  {
    cameras = {};
    std::lock_guard<std::mutex> lock(mutex);
    const rclcpp::Time now = node->now();
    broadcaster.sendTransform(
        demo::toTransform(demo::toIsometry(current), now, "odom", "base_link"));
    current = new_pose;
    broadcaster.sendTransform(demo::toTransform(
        demo::toIsometry(current), now + rclcpp::Duration(0, 1), "odom", "base_link"));
  }

  /// Starts camera @p index of the demo's cameras (0 front, 1 left).
  void startCamera(size_t index)
  {
    demo::SimulatedCameras::Script script{
        [this](const rclcpp::Time &) { return world_time.load(); },
        [this](double) { return pose(); }};
    cameras.at(index) = std::make_unique<demo::SimulatedCameras>(
        node,
        std::make_shared<demo::DemoWorld>(),
        std::vector<demo::CameraModel>{demo::demoCameras(160, 120).at(index)},
        script,
        10.0);
  }

  demo::Pose2D pose()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return current;
  }

  /// Seconds of the world's script that every frame shows from now on.
  std::atomic<double> world_time{10.0};

private:
  // Stamp and pose are taken together: no sample stamped before a move shows the new pose.
  void publishPose()
  {
    std::lock_guard<std::mutex> lock(mutex);
    broadcaster.sendTransform(
        demo::toTransform(demo::toIsometry(current), node->now(), "odom", "base_link"));
  }

  void run()
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, 50ms, [this]() { return stop; })) {
      lock.unlock();
      publishPose();
      lock.lock();
    }
  }

  rclcpp::Node::SharedPtr node;
  tf2_ros::StaticTransformBroadcaster static_broadcaster;
  tf2_ros::TransformBroadcaster broadcaster;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop{false};
  // Map (1, -2) facing east: the left camera looks north at the table, the person's path between.
  demo::Pose2D current{0.0, -2.0, 0.0};
  std::thread thread;
  std::array<std::unique_ptr<demo::SimulatedCameras>, 2> cameras;  // front, left
};

// The layer parameters of the example configuration.
std::vector<rclcpp::Parameter> velnorParameters(bool room_map)
{
  std::vector<rclcpp::Parameter> parameters = {
      {"frustum_list", "front_camera left_camera"},
      {"default_frustum_conf.max_view_distance", 1.5},
      {"default_frustum_conf.r_resolution", 0.1},
      {"front_camera.camera_info_topic", "/front_camera/camera_info"},
      {"left_camera.camera_info_topic", "/left_camera/camera_info"},
      {"observation_list", "front left"},
  };
  for (const std::string source : {"front", "left"}) {
    parameters.emplace_back(source + ".topic_name", "/" + source + "_camera/semantic_points");
    parameters.emplace_back(source + ".msg_type", "SemanticPointCloud");
    parameters.emplace_back(source + ".frustum_name", source + "_camera");
    parameters.emplace_back(source + ".marking", true);
  }
  if (room_map) {
    parameters.emplace_back("decay_time", 0.0);
    parameters.emplace_back("local_cache_distance", 0.0);
  }
  return parameters;
}

class VelnorLayerNodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    robot = std::make_unique<ScriptedRobot>();
    global = std::make_shared<ServerNode>("global_semanticmap");
    local = std::make_shared<ServerNode>("local_semanticmap");
    server_test::CostmapSpec room{12, 12, 0.05, -5.0, -6.0, false, 5.0, 5.0};
    server_test::CostmapSpec around{4, 4, 0.05, 0.0, 0.0, true, 5.0, 5.0};
    server_test::setUpNode(
        *global,
        room,
        {{"velnor_layer", "semantic_map::VelnorLayer", velnorParameters(true)},
         {"obstacle_map_layer",
          "semantic_map::ObstacleMapPublishLayer",
          {{"topic_name", "obstacle_map"}, {"always_send_full_map", true}}}});
    server_test::setUpNode(
        *local, around, {{"velnor_layer", "semantic_map::VelnorLayer", velnorParameters(false)}});
    local->set_parameter(rclcpp::Parameter("global_frame", std::string("odom")));
    spinner.add(global->get_node_base_interface());
    spinner.add(local->get_node_base_interface());
    spinner.start();
    for (auto * node : {global.get(), local.get()}) {
      ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
    }
    for (auto * node : {global.get(), local.get()}) {
      ASSERT_EQ(node->activate().id(), State::PRIMARY_STATE_ACTIVE);
    }
  }

  void TearDown() override
  {
    spinner.stop();
    for (auto * node : {global.get(), local.get()}) {
      if (node != nullptr && node->get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
        node->deactivate();
      }
    }
    global.reset();
    local.reset();
    robot.reset();
  }

  // Cells of @p node whose flags include @p flag and whose centre lies in the box (node's frame).
  static int countCells(
      ServerNode & node, unsigned int flag, double x0, double y0, double x1, double y1)
  {
    int count = 0;
    auto map = node.getLayeredSemanticmap();
    if (!map) {
      return 0;
    }
    map->getSemanticmap([&](Grid * grid) {
      std::lock_guard<std::mutex> lock(grid->mutex);
      const auto & store = *grid->grid;
      for (uint32_t y = 0; y < store.size_y; ++y) {
        const double wy = grid->origin_y + (y + 0.5) * grid->resolution;
        for (uint32_t x = 0; x < store.size_x; ++x) {
          const double wx = grid->origin_x + (x + 0.5) * grid->resolution;
          const auto index = x + y * store.size_x;
          if (wx >= x0 && wx <= x1 && wy >= y0 && wy <= y1 &&
              (static_cast<unsigned int>(store.types[index]) & flag) == flag &&
              std::isfinite(store.heights[index])) {
            ++count;
          }
        }
      }
    });
    return count;
  }

  std::unique_ptr<ScriptedRobot> robot;
  server_test::Spinner spinner;
  std::shared_ptr<ServerNode> global;
  std::shared_ptr<ServerNode> local;
};

// The person stands at map (1.0, -0.9), odom (0.0, -0.9); the table's south face is map y -0.3.
TEST_F(VelnorLayerNodeTest, WhatTheCamerasSeeIsMappedUntilTheySeeItGone)
{
  // Clouds in: the person and the table's face in both grids, with heights.
  EXPECT_TRUE(
      waitFor([&] { return countCells(*global, kPerson, 0.7, -1.2, 1.3, -0.6) > 5; }, kWait));
  EXPECT_TRUE(
      waitFor([&] { return countCells(*global, kStatic, 0.5, -0.4, 1.5, -0.2) > 5; }, kWait));
  EXPECT_TRUE(
      waitFor([&] { return countCells(*local, kPerson, -0.3, -1.2, 0.3, -0.6) > 5; }, kWait));

  // The obstacle map: the table's face is an obstacle (100), the person a dynamic one (50).
  std::mutex mutex;
  nav_msgs::msg::OccupancyGrid last;
  auto observer = std::make_shared<rclcpp::Node>("obstacle_map_observer");
  auto subscription = observer->create_subscription<nav_msgs::msg::OccupancyGrid>(
      "/global_semanticmap/obstacle_map",
      rclcpp::QoS(1).transient_local().reliable(),
      [&](nav_msgs::msg::OccupancyGrid::ConstSharedPtr grid) {
        std::lock_guard<std::mutex> lock(mutex);
        last = *grid;
      });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(observer);
  auto occupancy = [&](int value, double x0, double y0, double x1, double y1) {
    executor.spin_some();
    std::lock_guard<std::mutex> lock(mutex);
    int count = 0;
    for (uint32_t y = 0; y < last.info.height; ++y) {
      for (uint32_t x = 0; x < last.info.width; ++x) {
        const double wx = last.info.origin.position.x + (x + 0.5) * last.info.resolution;
        const double wy = last.info.origin.position.y + (y + 0.5) * last.info.resolution;
        if (wx >= x0 && wx <= x1 && wy >= y0 && wy <= y1 &&
            last.data[x + y * last.info.width] == value) {
          ++count;
        }
      }
    }
    return count;
  };
  EXPECT_TRUE(waitFor([&] { return occupancy(100, 0.5, -0.4, 1.5, -0.2) > 5; }, kWait));
  EXPECT_TRUE(waitFor([&] { return occupancy(50, 0.7, -1.2, 1.3, -0.6) > 5; }, kWait));

  // The person leaves: the room map (no decay, no distance rule) loses them because the cameras
  // now see the floor and the table where they stood; the table stays.
  robot->world_time = 30.0;
  EXPECT_TRUE(
      waitFor([&] { return countCells(*global, kPerson, -5.0, -6.0, 7.0, 6.0) == 0; }, kWait));
  EXPECT_GT(countCells(*global, kStatic, 0.5, -0.4, 1.5, -0.2), 5);
}

TEST_F(VelnorLayerNodeTest, LocalMapWithdrawsByDistanceAndByAge)
{
  ASSERT_TRUE(
      waitFor([&] { return countCells(*local, kPerson, -0.3, -1.2, 0.3, -0.6) > 5; }, kWait));
  ASSERT_TRUE(
      waitFor([&] { return countCells(*global, kPerson, 0.7, -1.2, 1.3, -0.6) > 5; }, kWait));

  // Listen to the change lists of the layers (both nodes' layers share the channel name). The
  // local node's person unit (in odom, near x 0) is withdrawn and applied again every cycle while
  // a camera still holds the frame that shows it; whether the last change of it since list
  // @p since withdrew it for good.
  velnor::VelnorCacheSlave listener("distance_listener", "velnor_layer");
  const auto personWithdrawn = [&listener](size_t since) {
    const auto lists = listener.getUpdateData();
    int last = 0;
    for (size_t i = since; i < lists.size(); ++i) {
      for (const auto & unit : *lists[i]) {
        if (!unit.types.empty() && (static_cast<unsigned int>(unit.types.front()) & kPerson) != 0 &&
            unit.min_x > -0.5 && unit.max_x < 0.5) {
          last = unit.operate;
        }
      }
    }
    return last == velnor::MapChangeUnit::CLEAR;
  };
  // 3.5 m west, facing the west wall: the person is out of view, and farther than 3 m. With the
  // local map's decay off, only the distance rule can withdraw them once the cameras' frames no
  // longer show them.
  local->set_parameter(rclcpp::Parameter("velnor_layer.decay_time", 0.0));
  const size_t since = listener.getUpdateData().size();
  robot->moveTo({-3.5, -2.0, M_PI});
  robot->startCamera(0);
  robot->startCamera(1);
  EXPECT_TRUE(waitFor([&] { return personWithdrawn(since); }, kWait));
  // The room map keeps them: it has no distance rule, and no camera sees that place now.
  EXPECT_GT(countCells(*global, kPerson, 0.7, -1.2, 1.3, -0.6), 5);

  // Age: a short decay time set at run time, and no more marking: the local map empties while
  // the room map keeps everything.
  ASSERT_TRUE(
      waitFor([&] { return countCells(*local, kStatic, -10.0, -10.0, 10.0, 10.0) > 5; }, kWait));
  local->set_parameter(rclcpp::Parameter("velnor_layer.decay_time", 0.5));
  local->set_parameter(rclcpp::Parameter("velnor_layer.front.marking", false));
  local->set_parameter(rclcpp::Parameter("velnor_layer.left.marking", false));
  EXPECT_TRUE(waitFor([&] { return countCells(*local, 0, -10.0, -10.0, 10.0, 10.0) == 0; }, kWait));
  EXPECT_GT(countCells(*global, kPerson, 0.7, -1.2, 1.3, -0.6), 5);
}

TEST_F(VelnorLayerNodeTest, LifecycleTransitionsWhileCloudsFlow)
{
  auto marked = [&]() { return countCells(*global, kStatic, 0.5, -0.4, 1.5, -0.2) > 5; };
  ASSERT_TRUE(waitFor(marked, kWait));
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(global->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(global->activate().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(global->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(global->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
    ASSERT_EQ(global->configure().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(global->activate().id(), State::PRIMARY_STATE_ACTIVE);
    // A fresh layer on a fresh grid marks again.
    EXPECT_TRUE(waitFor(marked, kWait)) << round;
  }
  // The other node ran on meanwhile.
  EXPECT_GT(countCells(*local, kPerson, -0.3, -1.2, 0.3, -0.6), 5);

  // Clearing entirely resets the layer: its cache starts empty with the inputs still subscribed,
  // so the cells come back from new clouds.
  auto client = std::make_shared<rclcpp::Node>("clear_client");
  ASSERT_TRUE(server_test::callService<nav2_msgs::srv::ClearEntireCostmap>(
      client, "/global_semanticmap/brindlex_clear_entirely_global_semanticmap"));
  EXPECT_TRUE(waitFor(marked, kWait));
}

}  // namespace
