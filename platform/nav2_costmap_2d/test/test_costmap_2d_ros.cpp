// Costmap2DROS: parameters, configure, the blocking activation, the update thread, clearing,
// publishing and teardown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_2d_ros.hpp"
#include "nav2_costmap_2d/layer.hpp"
#include "nav2_msgs/srv/clear_costmap_around_robot.hpp"
#include "nav2_msgs/srv/clear_costmap_except_region.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "tf2_ros/static_transform_broadcaster.h"

namespace {

using namespace std::chrono_literals;
using lifecycle_msgs::msg::State;
using nav2_costmap_2d::Costmap2DROS;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

template <typename Pred>
bool waitFor(Pred pred, std::chrono::seconds timeout = 10s)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Gives the tests the protected state the update-thread protocol works with.
class ExposedCostmap : public Costmap2DROS
{
public:
  explicit ExposedCostmap(const std::string & name) : Costmap2DROS(name) {}

  using Costmap2DROS::initialized_;
  using Costmap2DROS::map_update_thread_;
  using Costmap2DROS::map_update_thread_shutdown_;
  using Costmap2DROS::mapUpdateLoop;
  using Costmap2DROS::stop_updates_;
  using Costmap2DROS::stopped_;

  nav2_util::CallbackReturn on_deactivate(const rclcpp_lifecycle::State & state) override
  {
    deactivating.store(true, std::memory_order_relaxed);
    return Costmap2DROS::on_deactivate(state);
  }

  /// Set when a deactivation begins.
  std::atomic<bool> deactivating{false};
};

geometry_msgs::msg::TransformStamped makeTransform(
    const std::string & parent, const std::string & child, double x, double y)
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = parent;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.rotation.w = 1.0;
  return t;
}

// One costmap node per test (unique name), spun by its own executor thread for the default
// callback group (the clear services), and a helper node that publishes TF and calls services.
class CostmapNodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    name_ =
        std::string("costmap_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    helper_ = std::make_shared<rclcpp::Node>(name_ + "_helper");
    broadcaster_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(helper_);
  }

  void TearDown() override
  {
    if (costmap_) {
      if (costmap_->get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
        costmap_->deactivate();
      }
      if (costmap_->get_current_state().id() == State::PRIMARY_STATE_INACTIVE) {
        costmap_->cleanup();
      }
    }
    stopSpinning();
    costmap_.reset();
  }

  // Creates the node with a small fixed costmap and the test layer marking two points.
  void createCostmap(bool with_layer = true)
  {
    costmap_ = std::make_shared<ExposedCostmap>(name_);
    costmap_->set_parameter(rclcpp::Parameter("width", 4));
    costmap_->set_parameter(rclcpp::Parameter("height", 3));
    costmap_->set_parameter(rclcpp::Parameter("resolution", 0.1));
    costmap_->set_parameter(rclcpp::Parameter("origin_x", -1.0));
    costmap_->set_parameter(rclcpp::Parameter("origin_y", -1.0));
    costmap_->set_parameter(rclcpp::Parameter("update_frequency", 20.0));
    costmap_->set_parameter(rclcpp::Parameter("publish_frequency", 20.0));
    if (with_layer) {
      costmap_->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{"marks"}));
      costmap_->declare_parameter("marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
      // One point near the robot at (0.5, 0.5), one far from it.
      costmap_->declare_parameter("marks.mark_points", std::vector<double>{0.55, 0.55, 2.55, 1.55});
    } else {
      costmap_->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{}));
    }
  }

  void publishRobotAt(double x, double y)
  {
    broadcaster_->sendTransform(makeTransform("map", "base_link", x, y));
  }

  void startSpinning()
  {
    executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(costmap_->get_node_base_interface());
    spin_thread_ = std::thread([this]() { executor_->spin(); });
  }

  void stopSpinning()
  {
    if (spin_thread_.joinable()) {
      // Spinning may not have begun yet; cancel until the thread is seen leaving spin().
      while (!executor_->is_spinning()) {
        std::this_thread::sleep_for(1ms);
      }
      executor_->cancel();
      spin_thread_.join();
    }
  }

  unsigned char masterCostAt(double wx, double wy)
  {
    auto * master = costmap_->getCostmap();
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*master->getMutex());
    unsigned int mx, my;
    EXPECT_TRUE(master->worldToMap(wx, wy, mx, my));
    return master->getCost(mx, my);
  }

  template <typename ServiceT>
  void callService(const std::string & service, float reset_distance)
  {
    auto client = helper_->create_client<ServiceT>("/" + name_ + "/" + service + "_" + name_);
    ASSERT_TRUE(client->wait_for_service(10s));
    auto request = std::make_shared<typename ServiceT::Request>();
    if constexpr (!std::is_same_v<ServiceT, nav2_msgs::srv::ClearEntireCostmap>) {
      request->reset_distance = reset_distance;
    }
    auto future = client->async_send_request(request);
    ASSERT_EQ(
        rclcpp::spin_until_future_complete(helper_, future, 10s),
        rclcpp::FutureReturnCode::SUCCESS);
  }

  std::string name_;
  rclcpp::Node::SharedPtr helper_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> broadcaster_;
  std::shared_ptr<ExposedCostmap> costmap_;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor_;
  std::thread spin_thread_;
};

TEST_F(CostmapNodeTest, DeclaresTheNavigation2Defaults)
{
  costmap_ = std::make_shared<ExposedCostmap>(name_);
  EXPECT_EQ(costmap_->get_namespace(), "/" + name_);
  EXPECT_EQ(costmap_->get_fully_qualified_name(), "/" + name_ + "/" + name_);
  EXPECT_EQ(costmap_->getName(), name_);

  EXPECT_FALSE(costmap_->get_parameter("always_send_full_costmap").as_bool());
  EXPECT_NEAR(costmap_->get_parameter("footprint_padding").as_double(), 0.01, 1e-7);
  EXPECT_EQ(costmap_->get_parameter("footprint").as_string(), "[]");
  EXPECT_EQ(costmap_->get_parameter("global_frame").as_string(), "map");
  EXPECT_EQ(costmap_->get_parameter("height").as_int(), 5);
  EXPECT_EQ(costmap_->get_parameter("width").as_int(), 5);
  EXPECT_EQ(costmap_->get_parameter("lethal_cost_threshold").as_int(), 100);
  EXPECT_EQ(costmap_->get_parameter("map_topic").as_string(), "/map");
  EXPECT_EQ(costmap_->get_parameter("observation_sources").as_string(), "");
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("origin_x").as_double(), 0.0);
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("origin_y").as_double(), 0.0);
  EXPECT_EQ(
      costmap_->get_parameter("plugins").as_string_array(),
      (std::vector<std::string>{"static_layer", "obstacle_layer", "inflation_layer"}));
  EXPECT_TRUE(costmap_->get_parameter("filters").as_string_array().empty());
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("publish_frequency").as_double(), 1.0);
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("resolution").as_double(), 0.1);
  EXPECT_EQ(costmap_->get_parameter("robot_base_frame").as_string(), "base_link");
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("robot_radius").as_double(), 0.1);
  EXPECT_FALSE(costmap_->get_parameter("rolling_window").as_bool());
  EXPECT_FALSE(costmap_->get_parameter("track_unknown_space").as_bool());
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("transform_tolerance").as_double(), 0.3);
  EXPECT_TRUE(costmap_->get_parameter("trinary_costmap").as_bool());
  EXPECT_EQ(costmap_->get_parameter("unknown_cost_value").as_int(), 255);
  EXPECT_DOUBLE_EQ(costmap_->get_parameter("update_frequency").as_double(), 5.0);
  EXPECT_FALSE(costmap_->get_parameter("use_maximum").as_bool());
  EXPECT_TRUE(costmap_->get_parameter("bond_disable_heartbeat_timeout").as_bool());
}

TEST_F(CostmapNodeTest, ConfigureSizesTheCostmapFromTheParameters)
{
  createCostmap(false);
  costmap_->set_parameter(rclcpp::Parameter("track_unknown_space", true));
  costmap_->configure();
  ASSERT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_INACTIVE);

  auto * master = costmap_->getCostmap();
  EXPECT_EQ(master->getSizeInCellsX(), 40u);
  EXPECT_EQ(master->getSizeInCellsY(), 30u);
  EXPECT_DOUBLE_EQ(master->getResolution(), 0.1);
  EXPECT_DOUBLE_EQ(master->getOriginX(), -1.0);
  EXPECT_DOUBLE_EQ(master->getOriginY(), -1.0);
  EXPECT_EQ(master->getCost(0, 0), nav2_costmap_2d::NO_INFORMATION);
  EXPECT_EQ(costmap_->getGlobalFrameID(), "map");
  EXPECT_FALSE(costmap_->getLayeredCostmap()->isRolling());
  EXPECT_TRUE(costmap_->getLayeredCostmap()->getPlugins()->empty());
  EXPECT_NE(costmap_->getTfBuffer(), nullptr);

  // Radius 0.1 padded by 0.01 away from zero on each axis.
  const auto footprint = costmap_->getRobotFootprint();
  ASSERT_EQ(footprint.size(), 16u);
  EXPECT_NEAR(footprint[0].x, 0.11, 1e-6);
  EXPECT_NEAR(footprint[0].y, 0.0, 1e-9);
  EXPECT_NEAR(footprint[4].y, 0.11, 1e-6);
  EXPECT_TRUE(costmap_->getUseRadius());
}

TEST_F(CostmapNodeTest, AValidFootprintStringWinsOverTheRadius)
{
  createCostmap(false);
  costmap_->set_parameter(
      rclcpp::Parameter("footprint", "[[0.3, 0.2], [-0.3, 0.2], [-0.3, -0.2]]"));
  costmap_->set_parameter(rclcpp::Parameter("footprint_padding", 0.05));
  costmap_->configure();
  ASSERT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_FALSE(costmap_->getUseRadius());
  const auto footprint = costmap_->getRobotFootprint();
  ASSERT_EQ(footprint.size(), 3u);
  EXPECT_NEAR(footprint[1].x, -0.35, 1e-6);
  EXPECT_NEAR(footprint[1].y, 0.25, 1e-6);
  EXPECT_NEAR(costmap_->getUnpaddedRobotFootprint()[1].x, -0.3, 1e-6);
}

TEST_F(CostmapNodeTest, DefaultLayersAreNotProvidedSoConfigureFails)
{
  costmap_ = std::make_shared<ExposedCostmap>(name_);
  costmap_->configure();
  // The plug-in load throws, the transition errors and on_error returns to unconfigured.
  EXPECT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(
      costmap_->get_parameter("obstacle_layer.plugin").as_string(),
      "nav2_costmap_2d::ObstacleLayer");
}

TEST_F(CostmapNodeTest, LayerWithoutPluginParameterEndsTheProcess)
{
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        costmap_ = std::make_shared<ExposedCostmap>(name_);
        costmap_->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{"ghost"}));
        costmap_->configure();
      },
      ::testing::ExitedWithCode(255),
      "Can not get 'plugin' param value for ghost");
}

TEST_F(CostmapNodeTest, ResetLayersBeforeConfigureDoesNothing)
{
  costmap_ = std::make_shared<ExposedCostmap>(name_);
  costmap_->resetLayers();
  EXPECT_EQ(costmap_->getLayeredCostmap(), nullptr);
}

TEST_F(CostmapNodeTest, ActivationWaitsForTheRobotTransformAndOneUpdate)
{
  createCostmap(false);
  costmap_->configure();
  ASSERT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_INACTIVE);

  auto activation = std::async(std::launch::async, [this]() { return costmap_->activate().id(); });
  // Without TF the activation cannot finish.
  EXPECT_EQ(activation.wait_for(1500ms), std::future_status::timeout);
  EXPECT_FALSE(costmap_->initialized_);

  publishRobotAt(0.5, 0.25);
  ASSERT_EQ(activation.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(activation.get(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_TRUE(costmap_->initialized_);
  EXPECT_FALSE(costmap_->stopped_);
  ASSERT_TRUE(costmap_->map_update_thread_);
  EXPECT_TRUE(costmap_->map_update_thread_->joinable());
  // Without plug-ins the layered costmap itself never initialises.
  EXPECT_FALSE(costmap_->getLayeredCostmap()->isInitialized());
}

TEST_F(CostmapNodeTest, RobotPoseComesFromTF)
{
  createCostmap(false);
  costmap_->set_parameter(rclcpp::Parameter("transform_tolerance", 0.05));
  costmap_->configure();

  geometry_msgs::msg::PoseStamped pose;
  EXPECT_FALSE(costmap_->getRobotPose(pose));

  broadcaster_->sendTransform(
      {makeTransform("map", "odom", 1.0, 2.0), makeTransform("odom", "base_link", 0.5, -0.5)});
  ASSERT_TRUE(waitFor([&]() { return costmap_->getRobotPose(pose); }));
  EXPECT_EQ(pose.header.frame_id, "map");
  EXPECT_DOUBLE_EQ(pose.pose.position.x, 1.5);
  EXPECT_DOUBLE_EQ(pose.pose.position.y, 1.5);
  EXPECT_DOUBLE_EQ(pose.pose.orientation.w, 1.0);
}

TEST_F(CostmapNodeTest, UpdateFrequencyZeroEndsTheLoopAtOnce)
{
  createCostmap(false);
  costmap_->configure();
  // Returns without looping: with a running loop this call would never come back.
  costmap_->mapUpdateLoop(0.0);
  EXPECT_FALSE(costmap_->initialized_);
}

TEST_F(CostmapNodeTest, UpdateThreadPublishesTheCostmapAndTheFootprint)
{
  createCostmap();
  publishRobotAt(0.5, 0.5);
  std::vector<nav_msgs::msg::OccupancyGrid> grids;
  std::vector<geometry_msgs::msg::PolygonStamped> footprints;
  std::mutex received_mutex;
  auto grid_sub = helper_->create_subscription<nav_msgs::msg::OccupancyGrid>(
      "/" + name_ + "/costmap",
      rclcpp::QoS(1).transient_local().reliable(),
      [&](nav_msgs::msg::OccupancyGrid::ConstSharedPtr msg) {
        std::lock_guard<std::mutex> lock(received_mutex);
        grids.push_back(*msg);
      });
  auto footprint_sub = helper_->create_subscription<geometry_msgs::msg::PolygonStamped>(
      "/" + name_ + "/published_footprint",
      rclcpp::SystemDefaultsQoS(),
      [&](geometry_msgs::msg::PolygonStamped::ConstSharedPtr msg) {
        std::lock_guard<std::mutex> lock(received_mutex);
        footprints.push_back(*msg);
      });

  costmap_->configure();
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_TRUE(costmap_->getLayeredCostmap()->isInitialized());

  rclcpp::executors::SingleThreadedExecutor helper_executor;
  helper_executor.add_node(helper_);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  bool received = false;
  while (!received && std::chrono::steady_clock::now() < deadline) {
    helper_executor.spin_some();
    std::lock_guard<std::mutex> lock(received_mutex);
    received = !grids.empty() && !footprints.empty();
  }
  ASSERT_TRUE(received);

  std::lock_guard<std::mutex> lock(received_mutex);
  const auto & grid = grids.front();
  EXPECT_EQ(grid.header.frame_id, "map");
  EXPECT_EQ(grid.info.width, 40u);
  // The marked cell (15, 15) is lethal, its neighbour free.
  EXPECT_EQ(grid.data[15 * 40 + 15], 100);
  EXPECT_EQ(grid.data[15 * 40 + 16], 0);

  const auto & footprint = footprints.front();
  EXPECT_EQ(footprint.header.frame_id, "map");
  ASSERT_EQ(footprint.polygon.points.size(), 16u);
  EXPECT_NEAR(footprint.polygon.points[0].x, 0.61f, 1e-5);
  EXPECT_NEAR(footprint.polygon.points[0].y, 0.5f, 1e-5);
}

// A layer whose update can be held inside a cycle: once armed, the next updateBounds() reports
// that it is running and waits until release() is called.
class GateLayer : public nav2_costmap_2d::Layer
{
public:
  void reset() override {}
  bool isClearable() override { return false; }
  void updateCosts(nav2_costmap_2d::Costmap2D &, int, int, int, int) override {}
  void updateBounds(double, double, double, double *, double *, double *, double *) override
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!armed_) {
      return;
    }
    armed_ = false;
    holding_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this]() { return released_; });
    holding_ = false;
  }

  void arm()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
  }

  /// Waits until a cycle is held inside updateCosts().
  bool waitHolding(std::chrono::seconds timeout = 10s)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this]() { return holding_; });
  }

  void release()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_{false};
  bool holding_{false};
  bool released_{false};
};

TEST_F(CostmapNodeTest, ReplacedUpdateThreadIsJoinedByDeactivate)
{
  createCostmap(false);
  publishRobotAt(0.0, 0.0);
  costmap_->configure();
  auto gate = std::make_shared<GateLayer>();
  {
    auto * layered = costmap_->getLayeredCostmap();
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layered->getCostmap()->getMutex());
    layered->addPlugin(gate);
  }
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);

  // Stop and join the base's own loop, then run another one in its place, as a derived node
  // with its own update cycle does.
  costmap_->map_update_thread_shutdown_ = true;
  costmap_->map_update_thread_->join();
  costmap_->map_update_thread_shutdown_ = false;
  costmap_->map_update_thread_ = std::make_unique<std::thread>([this]() {
    while (rclcpp::ok() && !costmap_->map_update_thread_shutdown_) {
      costmap_->updateMap();
      std::this_thread::sleep_for(5ms);
    }
  });

  // Hold one cycle after its stop check, let deactivate run stop() (which clears the flag), and
  // only then let the cycle finish and set the flag again, before the join.
  gate->arm();
  ASSERT_TRUE(gate->waitHolding());
  auto deactivated = std::async(std::launch::async, [this]() { return costmap_->deactivate(); });
  ASSERT_TRUE(waitFor([this]() { return costmap_->stopped_.load(); }));
  gate->release();
  ASSERT_EQ(deactivated.get().id(), State::PRIMARY_STATE_INACTIVE);

  EXPECT_FALSE(costmap_->map_update_thread_->joinable());
  EXPECT_TRUE(costmap_->map_update_thread_shutdown_);
  EXPECT_TRUE(costmap_->stopped_);
  EXPECT_TRUE(costmap_->stop_updates_);
  EXPECT_FALSE(costmap_->initialized_);
}

TEST_F(CostmapNodeTest, CleanupReleasesAndAllowsAnotherConfigure)
{
  createCostmap();
  publishRobotAt(0.5, 0.5);
  costmap_->configure();
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  ASSERT_EQ(costmap_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(costmap_->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(costmap_->getLayeredCostmap(), nullptr);
  EXPECT_EQ(costmap_->getTfBuffer(), nullptr);

  costmap_->set_parameter(rclcpp::Parameter("width", 2));
  ASSERT_EQ(costmap_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(costmap_->getCostmap()->getSizeInCellsX(), 20u);
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  // Deactivate left the "initialised" flag clear, so this activation waited for a fresh cycle.
  EXPECT_EQ(masterCostAt(0.55, 0.55), nav2_costmap_2d::LETHAL_OBSTACLE);
}

// With a layer, so that ThreadSanitizer sees its initialisation and the size changes in one run.
TEST_F(CostmapNodeTest, SizeParametersResizeAnActiveCostmap)
{
  createCostmap();
  publishRobotAt(0.0, 0.0);
  costmap_->configure();
  // The costmap adds its parameter callback when it activates: one added before runs after it,
  // and only when it took the change.
  std::vector<unsigned int> widths_seen;
  auto earlier = costmap_->add_on_set_parameters_callback([&](const auto &) {
    widths_seen.push_back(costmap_->getCostmap()->getSizeInCellsX());
    rcl_interfaces::msg::SetParametersResult result;
    result.successful = true;
    return result;
  });
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);

  EXPECT_TRUE(costmap_->set_parameter(rclcpp::Parameter("width", 2)).successful);
  EXPECT_TRUE(costmap_->set_parameter(rclcpp::Parameter("resolution", 0.05)).successful);
  EXPECT_EQ(costmap_->getCostmap()->getSizeInCellsX(), 40u);
  EXPECT_EQ(costmap_->getCostmap()->getSizeInCellsY(), 60u);

  EXPECT_FALSE(costmap_->set_parameter(rclcpp::Parameter("height", 0)).successful);
  EXPECT_EQ(costmap_->get_parameter("height").as_int(), 3);
  EXPECT_EQ(costmap_->getCostmap()->getSizeInCellsY(), 60u);
  EXPECT_EQ(widths_seen, (std::vector<unsigned int>{20, 40}));
  earlier.reset();

  // Other names pass through untouched, so layers can keep their own parameters.
  costmap_->declare_parameter("some_layer.speed", 1.0);
  EXPECT_TRUE(costmap_->set_parameter(rclcpp::Parameter("some_layer.speed", 2.0)).successful);

  // 3277 m square at 0.05 m is 65540 x 65540 cells, 458,304 in 32 bits: refused before any of it
  // applies, and a configure with it fails.
  const std::vector<rclcpp::Parameter> oversized{
      rclcpp::Parameter("width", 3277), rclcpp::Parameter("height", 3277)};
  const auto refused = costmap_->set_parameters_atomically(oversized);
  EXPECT_FALSE(refused.successful);
  EXPECT_NE(refused.reason.find("65540 x 65540 cells"), std::string::npos) << refused.reason;
  EXPECT_EQ(costmap_->get_parameter("width").as_int(), 2);
  EXPECT_EQ(costmap_->getCostmap()->getSizeInCellsX(), 40u);
  costmap_->deactivate();
  costmap_->cleanup();
  ASSERT_TRUE(costmap_->set_parameters_atomically(oversized).successful);
  EXPECT_EQ(costmap_->configure().id(), State::PRIMARY_STATE_UNCONFIGURED);
}

// Once armed, holds the next updateBounds() until the node begins to deactivate. It polls relaxed
// flags, so it orders nothing between the held thread and the others for ThreadSanitizer.
class HeldLayer : public nav2_costmap_2d::Layer
{
public:
  explicit HeldLayer(const std::atomic<bool> & until) : until_(until) {}
  void reset() override {}
  bool isClearable() override { return false; }
  void updateCosts(nav2_costmap_2d::Costmap2D &, int, int, int, int) override {}
  void updateBounds(double, double, double, double *, double *, double *, double *) override
  {
    if (armed.exchange(false, std::memory_order_relaxed)) {
      holding.store(true, std::memory_order_relaxed);
      while (!until_.load(std::memory_order_relaxed)) {
        std::this_thread::sleep_for(10ms);
      }
      done.store(true, std::memory_order_relaxed);
    }
  }
  std::atomic<bool> armed{false}, holding{false}, done{false};

private:
  const std::atomic<bool> & until_;
};

// A parameter change under way when deactivation begins finishes before deactivate returns, so
// it never meets the costmap that cleanup releases.
TEST_F(CostmapNodeTest, ParameterChangeUnderWayFinishesBeforeDeactivateReturns)
{
  createCostmap(false);
  publishRobotAt(0.0, 0.0);
  costmap_->configure();
  auto held = std::make_shared<HeldLayer>(costmap_->deactivating);
  costmap_->getLayeredCostmap()->addPlugin(held);
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  costmap_->map_update_thread_shutdown_ = true;  // only the change updates the costmap now
  costmap_->map_update_thread_->join();

  held->armed = true;
  std::thread changer([this]() { costmap_->set_parameter(rclcpp::Parameter("width", 2)); });
  EXPECT_TRUE(waitFor([&]() { return held->holding.load(); }));
  EXPECT_EQ(costmap_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_TRUE(held->done);
  EXPECT_EQ(costmap_->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  changer.join();
}

TEST_F(CostmapNodeTest, NamedNodeLeavesPreShutdownToItsParent)
{
  createCostmap(false);
  publishRobotAt(0.0, 0.0);
  costmap_->configure();
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  costmap_->on_rcl_preshutdown();
  EXPECT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
}

TEST_F(CostmapNodeTest, StandaloneNodeBringsItselfDownAtPreShutdown)
{
  auto standalone = std::make_shared<Costmap2DROS>(
      rclcpp::NodeOptions().arguments({"--ros-args", "-r", "__ns:=/" + name_}));
  EXPECT_EQ(standalone->getName(), "costmap");
  standalone->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{}));
  standalone->set_parameter(rclcpp::Parameter("update_frequency", 20.0));
  publishRobotAt(0.0, 0.0);
  standalone->configure();
  ASSERT_EQ(standalone->activate().id(), State::PRIMARY_STATE_ACTIVE);
  standalone->on_rcl_preshutdown();
  EXPECT_EQ(standalone->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(standalone->getLayeredCostmap(), nullptr);
}

// Log records captured while a LogCapture is alive (any thread may log meanwhile).
struct LogRecord
{
  int severity;
  std::string name;
  std::string text;
};

std::mutex g_log_mutex;
std::vector<LogRecord> g_log_records;

void captureLog(
    const rcutils_log_location_t *,
    int severity,
    const char * name,
    rcutils_time_point_value_t,
    const char * format,
    va_list * args)
{
  char buffer[1024];
  va_list copy;
  va_copy(copy, *args);
  vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_log_records.push_back({severity, name ? name : "", buffer});
}

class LogCapture
{
public:
  LogCapture() : previous_(rcutils_logging_get_output_handler())
  {
    {
      std::lock_guard<std::mutex> lock(g_log_mutex);
      g_log_records.clear();
    }
    rcutils_logging_set_output_handler(captureLog);
  }
  ~LogCapture() { rcutils_logging_set_output_handler(previous_); }
  LogCapture(const LogCapture &) = delete;
  LogCapture & operator=(const LogCapture &) = delete;

  std::vector<LogRecord> records() const
  {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    return g_log_records;
  }

private:
  rcutils_logging_output_handler_t previous_;
};

TEST_F(CostmapNodeTest, ConfigureLogsEachLayerAroundItsInitialisation)
{
  createCostmap();
  costmap_->set_parameter(
      rclcpp::Parameter("plugins", std::vector<std::string>{"marks", "odd_marks"}));
  costmap_->declare_parameter("odd_marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
  // An odd count makes the layer log from its own initialisation.
  costmap_->declare_parameter("odd_marks.mark_points", std::vector<double>{0.15});
  costmap_->set_parameter(rclcpp::Parameter("filters", std::vector<std::string>{"filter_marks"}));
  costmap_->declare_parameter("filter_marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));

  std::vector<LogRecord> records;
  {
    LogCapture capture;
    ASSERT_EQ(costmap_->configure().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(costmap_->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
    records = capture.records();
  }

  const std::string logger = costmap_->get_logger().get_name();
  std::vector<std::string> layer_lines;
  for (const auto & record : records) {
    if (record.name != logger) {
      continue;
    }
    const bool loading =
        record.text.rfind("Using ", 0) == 0 || record.text.rfind("Initialized ", 0) == 0;
    if (loading) {
      EXPECT_EQ(record.severity, RCUTILS_LOG_SEVERITY_INFO) << record.text;
    }
    if (loading || record.text.find("mark_points holds an odd number") != std::string::npos) {
      layer_lines.push_back(record.text);
    }
  }
  EXPECT_EQ(
      layer_lines,
      (std::vector<std::string>{
          "Using plugin \"marks\"",
          "Initialized plugin \"marks\"",
          "Using plugin \"odd_marks\"",
          "odd_marks: mark_points holds an odd number of values; the last one is ignored",
          "Initialized plugin \"odd_marks\"",
          "Using costmap filter \"filter_marks\"",
          "Initialized costmap filter \"filter_marks\""}));
}

// Records the lifecycle calls the costmap makes on a layer, in one list shared by all layers.
class RecordingLayer : public nav2_costmap_2d::Layer
{
public:
  RecordingLayer(
      std::string tag,
      std::shared_ptr<std::mutex> mutex,
      std::shared_ptr<std::vector<std::string>> calls)
      : tag_(std::move(tag)), mutex_(std::move(mutex)), calls_(std::move(calls))
  {
  }

  void activate() override { record("activate"); }
  void deactivate() override { record("deactivate"); }
  void reset() override { record("reset"); }
  bool isClearable() override { return false; }
  void updateBounds(double, double, double, double *, double *, double *, double *) override {}
  void updateCosts(nav2_costmap_2d::Costmap2D &, int, int, int, int) override {}

private:
  void record(const std::string & call)
  {
    std::lock_guard<std::mutex> lock(*mutex_);
    calls_->push_back(call + " " + tag_);
  }

  std::string tag_;
  std::shared_ptr<std::mutex> mutex_;
  std::shared_ptr<std::vector<std::string>> calls_;
};

class LayerWalkTest : public CostmapNodeTest
{
protected:
  // A configured costmap whose layers are two recording plug-ins and a recording filter.
  void SetUp() override
  {
    CostmapNodeTest::SetUp();
    createCostmap(false);
    costmap_->configure();
    ASSERT_EQ(costmap_->get_current_state().id(), State::PRIMARY_STATE_INACTIVE);
    auto * layered = costmap_->getLayeredCostmap();
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layered->getCostmap()->getMutex());
    layered->addPlugin(std::make_shared<RecordingLayer>("first", mutex_, calls_));
    layered->addPlugin(std::make_shared<RecordingLayer>("second", mutex_, calls_));
    layered->addFilter(std::make_shared<RecordingLayer>("filter", mutex_, calls_));
  }

  std::vector<std::string> takeCalls()
  {
    std::lock_guard<std::mutex> lock(*mutex_);
    std::vector<std::string> taken;
    taken.swap(*calls_);
    return taken;
  }

  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::shared_ptr<std::vector<std::string>> calls_ = std::make_shared<std::vector<std::string>>();
};

TEST_F(LayerWalkTest, ActivateAndDeactivateReachEveryPluginThenEveryFilter)
{
  publishRobotAt(0.0, 0.0);
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(
      takeCalls(),
      (std::vector<std::string>{"activate first", "activate second", "activate filter"}));

  ASSERT_EQ(costmap_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(
      takeCalls(),
      (std::vector<std::string>{"deactivate first", "deactivate second", "deactivate filter"}));

  // Stopped, so the next activation reactivates every layer again.
  ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(
      takeCalls(),
      (std::vector<std::string>{"activate first", "activate second", "activate filter"}));
}

TEST_F(LayerWalkTest, ResetLayersReachesEveryPluginThenEveryFilter)
{
  {
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap_->getCostmap()->getMutex());
    costmap_->resetLayers();
  }
  EXPECT_EQ(takeCalls(), (std::vector<std::string>{"reset first", "reset second", "reset filter"}));
}

TEST_F(CostmapNodeTest, ResetLayersClearsTheMarksOfEveryPluginAndFilter)
{
  createCostmap();
  costmap_->set_parameter(
      rclcpp::Parameter("plugins", std::vector<std::string>{"marks", "more_marks"}));
  costmap_->declare_parameter("more_marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
  costmap_->declare_parameter("more_marks.mark_points", std::vector<double>{1.05, 0.25});
  costmap_->set_parameter(rclcpp::Parameter("filters", std::vector<std::string>{"filter_marks"}));
  costmap_->declare_parameter("filter_marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
  costmap_->declare_parameter("filter_marks.mark_points", std::vector<double>{-0.45, 1.15});
  ASSERT_EQ(costmap_->configure().id(), State::PRIMARY_STATE_INACTIVE);

  auto * layered = costmap_->getLayeredCostmap();
  ASSERT_EQ(layered->getPlugins()->size(), 2u);
  ASSERT_EQ(layered->getFilters()->size(), 1u);
  struct Mark
  {
    std::shared_ptr<nav2_costmap_2d::CostmapLayer> layer;
    double wx, wy;
  };
  const std::vector<Mark> marks{
      {std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(layered->getPlugins()->at(0)),
       0.55,
       0.55},
      {std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(layered->getPlugins()->at(1)),
       1.05,
       0.25},
      {std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(layered->getFilters()->at(0)),
       -0.45,
       1.15}};
  auto layer_cost = [](const Mark & mark) {
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*mark.layer->getMutex());
    unsigned int mx, my;
    EXPECT_TRUE(mark.layer->worldToMap(mark.wx, mark.wy, mx, my));
    return mark.layer->getCost(mx, my);
  };
  for (const auto & mark : marks) {
    ASSERT_EQ(layer_cost(mark), nav2_costmap_2d::LETHAL_OBSTACLE) << mark.layer->getName();
  }
  {
    auto * master = costmap_->getCostmap();
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*master->getMutex());
    master->setCost(3, 4, nav2_costmap_2d::LETHAL_OBSTACLE);
    costmap_->resetLayers();
    EXPECT_EQ(master->getCost(3, 4), nav2_costmap_2d::FREE_SPACE);
  }
  // The test layer clears on reset and only marks again when resized.
  for (const auto & mark : marks) {
    EXPECT_EQ(layer_cost(mark), nav2_costmap_2d::NO_INFORMATION) << mark.layer->getName();
  }
}

class ClearServiceTest : public CostmapNodeTest
{
protected:
  void SetUp() override
  {
    CostmapNodeTest::SetUp();
    createCostmap();
    publishRobotAt(0.5, 0.5);
    costmap_->configure();
    startSpinning();
    ASSERT_EQ(costmap_->activate().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(masterCostAt(0.55, 0.55), kLethal);
    ASSERT_EQ(masterCostAt(2.55, 1.55), kLethal);
  }

  static constexpr unsigned char kLethal = nav2_costmap_2d::LETHAL_OBSTACLE;
  static constexpr unsigned char kFree = nav2_costmap_2d::FREE_SPACE;
};

TEST_F(ClearServiceTest, ClearAroundClearsTheSquareAroundTheRobot)
{
  callService<nav2_msgs::srv::ClearCostmapAroundRobot>("clear_around", 1.0f);
  EXPECT_TRUE(waitFor([this]() { return masterCostAt(0.55, 0.55) == kFree; }));
  EXPECT_EQ(masterCostAt(2.55, 1.55), kLethal);
}

TEST_F(ClearServiceTest, ClearExceptKeepsOnlyTheSquareAroundTheRobot)
{
  callService<nav2_msgs::srv::ClearCostmapExceptRegion>("clear_except", 1.0f);
  EXPECT_TRUE(waitFor([this]() { return masterCostAt(2.55, 1.55) == kFree; }));
  EXPECT_EQ(masterCostAt(0.55, 0.55), kLethal);
}

TEST_F(ClearServiceTest, ClearEntirelyResetsEveryLayer)
{
  callService<nav2_msgs::srv::ClearEntireCostmap>("clear_entirely", 0.0f);
  EXPECT_EQ(masterCostAt(0.55, 0.55), kFree);
  EXPECT_EQ(masterCostAt(2.55, 1.55), kFree);
  // The layer itself was reset too: later updates do not bring the marks back.
  auto layer = std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(
      costmap_->getLayeredCostmap()->getPlugins()->front());
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layer->getMutex());
  unsigned int mx, my;
  ASSERT_TRUE(layer->worldToMap(0.55, 0.55, mx, my));
  EXPECT_EQ(layer->getCost(mx, my), nav2_costmap_2d::NO_INFORMATION);
}

TEST_F(ClearServiceTest, ResetLayersClearsTheMasterAndTheLayers)
{
  {
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap_->getCostmap()->getMutex());
    costmap_->resetLayers();
  }
  EXPECT_EQ(masterCostAt(0.55, 0.55), kFree);
  EXPECT_EQ(masterCostAt(2.55, 1.55), kFree);
}

}  // namespace
