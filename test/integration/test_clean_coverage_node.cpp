// Clean-coverage layers loaded by class name into a running semantic map node: their two services
// called through clients in every lifecycle state, and hammered while the map-update thread traces
// and the master costmap is re-sized.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_nav2_protocol/srv/get_covered_points.hpp"
#include "brindlex_nav2_protocol/srv/trigger_clean_coverage.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "lorvent/clean_coverage_layer.hpp"
#include "server_test_helpers.hpp"
#include "trasque_test_support.hpp"

namespace {

using namespace std::chrono_literals;
using brindlex_nav2_protocol::srv::GetCoveredPoints;
using brindlex_nav2_protocol::srv::TriggerCleanCoverage;
using lifecycle_msgs::msg::State;
using semantic_map::CleanCoverageLayer;
using server_test::CostmapSpec;
using server_test::LayerSpec;
using server_test::ServerNode;
using server_test::waitFor;
using CostmapLock = std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t>;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

class CleanCoverageNodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    name_ =
        std::string("coverage_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    robot_ = std::make_unique<server_test::RobotPose>(name_ + "_robot");
    robot_spinner_.add(robot_->node()->get_node_base_interface());
    robot_spinner_.start();
    client_ = std::make_shared<rclcpp::Node>(name_ + "_client");
    trigger_name_ = "/" + name_ + "_trigger";
    points_name_ = "/" + name_ + "_points";
  }

  void TearDown() override
  {
    server_test::windDown(node_);
    node_spinner_.reset();
    robot_spinner_.stop();
    node_.reset();
  }

  // A 20 m x 20 m costmap at 0.05 m with its origin at (-10, -10), and @p layers; the robot
  // stands at (@p robot_x, @p robot_y).
  void makeNode(
      const std::vector<LayerSpec> & layers,
      double robot_x = 0.0,
      double robot_y = 0.0,
      int width_m = 20)
  {
    robot_->moveTo(robot_x, robot_y);
    node_ = std::make_shared<ServerNode>(name_);
    CostmapSpec costmap;
    costmap.width_m = width_m;
    costmap.height_m = 20;
    costmap.resolution = 0.05;
    costmap.origin_x = -10.0;
    costmap.origin_y = -10.0;
    costmap.update_frequency = 50.0;
    server_test::setUpNode(*node_, costmap, layers);
    node_spinner_ = std::make_unique<server_test::Spinner>();
    node_spinner_->add(node_->get_node_base_interface());
    node_spinner_->start();
  }

  // A clean coverage layer's parameters @p extra with its services on the names of the test.
  LayerSpec coverageOnOwnServices(const std::string & layer, std::vector<rclcpp::Parameter> extra)
  {
    extra.emplace_back("trigger_srv_name", trigger_name_);
    extra.emplace_back("get_covered_points_srv_name", points_name_);
    return {layer, "semantic_map::CleanCoverageLayer", extra};
  }

  // The loaded layer of that name, null when the node holds none.
  std::shared_ptr<CleanCoverageLayer> layer(const std::string & layer_name)
  {
    std::shared_ptr<CleanCoverageLayer> found;
    auto map = node_->getLayeredSemanticmap();
    if (!map) {
      return found;
    }
    map->forEachLayer([&](std::shared_ptr<semantic_map::BrindlexLayer> & each) {
      if (each->name == layer_name) {
        found = std::static_pointer_cast<CleanCoverageLayer>(each);
      }
    });
    return found;
  }

  TriggerCleanCoverage::Response::SharedPtr trigger(
      const std::string & service, bool enable, int overlap = 0)
  {
    auto request = std::make_shared<TriggerCleanCoverage::Request>();
    request->enable = enable;
    request->path_overlap_distance = overlap;
    return server_test::callService<TriggerCleanCoverage>(client_, service, request);
  }

  GetCoveredPoints::Response::SharedPtr query(const std::string & service, bool enable)
  {
    auto request = std::make_shared<GetCoveredPoints::Request>();
    request->enable = enable;
    return server_test::callService<GetCoveredPoints>(client_, service, request);
  }

  bool serviceOffered(const std::string & service)
  {
    return client_->create_client<TriggerCleanCoverage>(service)->wait_for_service(200ms);
  }

  size_t coveredCells()
  {
    size_t n = 0;
    node_->getLayeredSemanticmap()->getSemanticmap([&n](server_test::Grid * grid) {
      std::lock_guard<std::mutex> lock(grid->mutex);
      for (uint32_t i = 0; i < grid->grid->cellCount(); ++i) {
        n += (grid->grid->types[i].value & 64u) != 0u ? 1 : 0;
      }
    });
    return n;
  }

  std::string name_;
  std::string trigger_name_;
  std::string points_name_;
  std::unique_ptr<server_test::RobotPose> robot_;
  server_test::Spinner robot_spinner_;
  std::unique_ptr<server_test::Spinner> node_spinner_;
  rclcpp::Node::SharedPtr client_;
  std::shared_ptr<ServerNode> node_;
};

// Two layers: one on the default (absolute) service names and a cleaning width of 0.43 m, one on
// names of the test and 0.42 m. The services exist from configure until cleanup, and work in every
// state in between; tracing runs only while the node is active.
TEST_F(CleanCoverageNodeTest, ServicesInEveryLifecycleState)
{
  const std::string & trigger_b = trigger_name_;
  const std::string & points_b = points_name_;
  makeNode(
      {{"coverage_a",
        "semantic_map::CleanCoverageLayer",
        {{"coverage_width", 0.43}, {"clean_path_to_robot_offset", 0.0}}},
       coverageOnOwnServices("coverage_b", {{"coverage_width", 0.42}})},
      -1.0,
      0.5);

  // Unconfigured: no layers, no services.
  EXPECT_FALSE(serviceOffered("/trigger_clean_coverage"));
  EXPECT_FALSE(serviceOffered(trigger_b));

  // Inactive: both answer; tracing is switched on but no cycle runs.
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  std::vector<trasque_test::LogRecord> records;
  {
    trasque_test::LogCapture capture;
    auto a = trigger("/trigger_clean_coverage", true, 5);
    auto b = trigger(trigger_b, true, -2);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->success);
    EXPECT_TRUE(b->success);
    records = capture.records();
  }
  const std::vector<trasque_test::LogRecord> expected = {
      {"INFO",
       "CleanCoverageLayer::triggerCallBack half_coverage_width is 22,path_overlap_distance is 5"},
      {"INFO",
       "CleanCoverageLayer::triggerCallBack half_coverage_width is 21,path_overlap_distance is "
       "-2"}};
  EXPECT_EQ(records, expected);
  auto inactive = query("/get_coverage_point", true);
  ASSERT_TRUE(inactive);
  EXPECT_TRUE(inactive->poses.empty());

  // Active: the robot drives along y = 0.5; the path grows and the band is marked.
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  for (int step = 0; step <= 40; ++step) {
    robot_->moveTo(-1.0 + 0.05 * step, 0.5);
    std::this_thread::sleep_for(5ms);  // pacing only: the path is awaited below
  }
  ASSERT_TRUE(waitFor([&]() {
    auto response = query("/get_coverage_point", true);
    return response && response->poses.size() >= 5;
  }));
  ASSERT_TRUE(waitFor([&]() { return coveredCells() > 0; }));
  auto active_poses = query("/get_coverage_point", true)->poses;
  for (const auto & pose : active_poses) {
    EXPECT_NEAR(pose.pose.position.y, 0.525, 1e-9) << "centres of the cells of row y = 0.5";
    EXPECT_EQ(pose.pose.orientation.w, 1.0);
  }

  // Tracing on again keeps the path and logs again; enable false in a query gives nothing.
  {
    trasque_test::LogCapture capture;
    ASSERT_TRUE(trigger("/trigger_clean_coverage", true, 1));
    records = capture.records();
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(
      records[0].text,
      "CleanCoverageLayer::triggerCallBack half_coverage_width is 22,path_overlap_distance is 1");
  EXPECT_GE(query("/get_coverage_point", true)->poses.size(), active_poses.size());
  EXPECT_TRUE(query("/get_coverage_point", false)->poses.empty());
  EXPECT_TRUE(layer("coverage_a")->active.load());

  // Inactive again: still served; the path stands still until tracing is switched off.
  ASSERT_EQ(node_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  const auto kept = query("/get_coverage_point", true)->poses.size();
  EXPECT_GE(kept, active_poses.size());
  auto off = trigger("/trigger_clean_coverage", false);
  ASSERT_TRUE(off);
  EXPECT_TRUE(off->success);
  EXPECT_FALSE(layer("coverage_a")->active.load());
  EXPECT_TRUE(query("/get_coverage_point", true)->poses.empty());

  // A disabled layer still answers.
  EXPECT_FALSE(query(points_b, true)->poses.empty());
  layer("coverage_b")->enabled = false;
  EXPECT_TRUE(trigger(trigger_b, false)->success);
  EXPECT_TRUE(query(points_b, true)->poses.empty());

  // Cleanup releases the layers and their services; a new configure brings them back.
  ASSERT_EQ(node_->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_FALSE(serviceOffered("/trigger_clean_coverage"));
  EXPECT_FALSE(serviceOffered(trigger_b));
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_TRUE(serviceOffered("/trigger_clean_coverage"));
  EXPECT_TRUE(query("/get_coverage_point", true)->poses.empty());
}

// A query hands out one pose per path point, in path order, at the centre of its cell.
TEST_F(CleanCoverageNodeTest, QueryGivesCellCentres)
{
  const std::string & points = points_name_;
  makeNode({coverageOnOwnServices("coverage", {})});
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  auto coverage = layer("coverage");
  ASSERT_TRUE(coverage);
  {
    CostmapLock lock(*coverage->getMutex());
    coverage->clean_path = {{0, 0}, {3, 7}, {399, 399}, {3, 7}};
  }
  auto response = query(points, true);
  ASSERT_TRUE(response);
  const std::vector<std::pair<double, double>> centres = {
      {-9.975, -9.975}, {-9.825, -9.625}, {9.975, 9.975}, {-9.825, -9.625}};
  ASSERT_EQ(response->poses.size(), centres.size());
  for (size_t i = 0; i < centres.size(); ++i) {
    EXPECT_NEAR(response->poses[i].pose.position.x, centres[i].first, 1e-9) << i;
    EXPECT_NEAR(response->poses[i].pose.position.y, centres[i].second, 1e-9) << i;
    EXPECT_EQ(response->poses[i].pose.position.z, 0.0);
    EXPECT_TRUE(response->poses[i].header.frame_id.empty());
  }
  EXPECT_TRUE(query(points, false)->poses.empty());
}

// Both services hammered from client threads while the map-update thread traces a moving robot
// and the master costmap changes size: every call is answered, the layer's costmap ends with the
// grid's size and the node keeps cycling.
TEST_F(CleanCoverageNodeTest, ServicesUnderLoad)
{
  const std::string & trigger_name = trigger_name_;
  const std::string & points_name = points_name_;
  makeNode({coverageOnOwnServices(
      "coverage", {{"local_optimize_length", 0.3}, {"global_optimize_length", 1.0}})});
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  ASSERT_TRUE(trigger(trigger_name, true));

  constexpr int kRounds = 40;
  std::atomic<int> answered{0};
  std::atomic<int> asked{0};
  auto hammer = [&](const std::string & client_name, bool toggles) {
    auto client = rclcpp::Node::make_shared(client_name);
    for (int round = 0; round < kRounds; ++round) {
      auto request = std::make_shared<TriggerCleanCoverage::Request>();
      request->enable = !toggles || round % 4 != 3;
      asked += 2;
      answered +=
          server_test::callService<TriggerCleanCoverage>(client, trigger_name, request) != nullptr;
      auto points = std::make_shared<GetCoveredPoints::Request>();
      points->enable = true;
      answered +=
          server_test::callService<GetCoveredPoints>(client, points_name, points) != nullptr;
    }
  };
  std::atomic<bool> done{false};
  auto move_robot = [&]() {
    for (int step = 0; !done; ++step) {
      const double t = 0.02 * (step % 200);
      robot_->moveTo(-2.0 + t, -1.0 + 0.5 * (step % 7) * 0.05);
      std::this_thread::sleep_for(1ms);
    }
  };
  auto resize = [&]() {
    for (int round = 0; round < kRounds / 4; ++round) {
      node_->set_parameter(rclcpp::Parameter("width", round % 2 == 0 ? 16 : 20));
      std::this_thread::sleep_for(2ms);
    }
  };
  std::thread robot_thread(move_robot);
  std::vector<std::thread> threads;
  threads.emplace_back(hammer, name_ + "_client_a", true);
  threads.emplace_back(hammer, name_ + "_client_b", false);
  threads.emplace_back(resize);
  for (auto & thread : threads) {
    thread.join();
  }
  EXPECT_EQ(answered.load(), asked.load());
  ASSERT_TRUE(trigger(trigger_name, true));
  ASSERT_TRUE(waitFor([&]() {
    auto response = query(points_name, true);
    return response && response->poses.size() >= 5;
  }));
  done = true;
  robot_thread.join();

  EXPECT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
  auto coverage = layer("coverage");
  EXPECT_TRUE(waitFor([&]() {
    uint32_t grid_x = 0;
    uint32_t costmap_x = 0;
    node_->getLayeredSemanticmap()->getSemanticmap([&](server_test::Grid * grid) {
      CostmapLock lock(*coverage->getMutex());
      std::lock_guard<std::mutex> grid_lock(grid->mutex);
      costmap_x = coverage->getSizeInCellsX();
      grid_x = grid->grid->size_x;
    });
    return grid_x == costmap_x && grid_x == 400u;
  }));
  EXPECT_TRUE(waitFor([&]() { return coveredCells() > 0; }));
}

}  // namespace
