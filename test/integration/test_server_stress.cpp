// Both server nodes running while several threads hammer the clear and load services, change
// parameters and move the robot: once with test layers that record every call, once with every
// shipped layer publishing to subscribers. Meant to run under ThreadSanitizer as well: a data
// race, a lock order inversion or a deadlock between the update threads, the service callbacks
// and the parameter callbacks shows up here.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "call_log.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav2_msgs/srv/clear_costmap_around_robot.hpp"
#include "nav2_msgs/srv/clear_costmap_except_region.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "nav2_msgs/srv/load_map.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "server_test_helpers.hpp"

namespace {

using lifecycle_msgs::msg::State;
using semantic_map_test::CallLog;
using server_test::CostmapSpec;
using server_test::ExposedServerNode;
using server_test::LayerSpec;
using server_test::waitFor;
using namespace std::chrono_literals;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

constexpr int kRounds = 25;

// Costmap width (m) set in a round of parameter changes.
int widthOfRound(int round) { return round % 2 == 0 ? 5 : 4; }

size_t countOf(const std::string & op) { return CallLog::instance().calls(op).size(); }

std::vector<LayerSpec> layersFor(const std::string & prefix)
{
  return {
      {prefix + "_mark",
       "semantic_map_test::RecordingLayer",
       {rclcpp::Parameter("mark_flag", 8),
        rclcpp::Parameter("bounds", std::string("box")),
        rclcpp::Parameter("box", std::vector<double>{0.0, 0.0, 1.0, 1.0}),
        rclcpp::Parameter("clearable", true)}},
      {prefix + "_whole",
       "semantic_map_test::RecordingLayer",
       {rclcpp::Parameter("mark_flag", 256), rclcpp::Parameter("bounds", std::string("whole"))}},
  };
}

// Global and local node on one spinner; startBoth() configures and activates them with the
// given layers. TearDown deactivates them while the spinner still runs.
class ServerStress : public ::testing::Test
{
protected:
  /// Sets up, configures and activates both nodes (update 100 Hz, publish 50 Hz; local rolling).
  void startBoth(
      const std::vector<LayerSpec> & global_layers, const std::vector<LayerSpec> & local_layers)
  {
    CostmapSpec global_costmap;
    global_costmap.update_frequency = 100.0;
    global_costmap.publish_frequency = 50.0;
    CostmapSpec local_costmap = global_costmap;
    local_costmap.rolling_window = true;
    // No Navigation2 layer: the base configures such a layer while holding the master costmap's
    // mutex, and its layer declares parameters there, while the base's own parameter callback
    // takes the master mutex under the parameter lock (as Navigation2 does). That inversion is
    // the base's, and ThreadSanitizer would report it for any parameter change here. The master
    // costmap is still reset by every clear-entirely request and resized by every width change.
    server_test::setUpNode(*global_, global_costmap, global_layers);
    server_test::setUpNode(*local_, local_costmap, local_layers);
    auto startup = std::async([this]() {
      global_->configure();
      local_->configure();
      global_->activate();
      local_->activate();
    });
    spinner_.add(global_->get_node_base_interface());
    spinner_.add(local_->get_node_base_interface());
    spinner_.start();
    startup.get();
    ASSERT_EQ(global_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(local_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
  }

  void TearDown() override
  {
    for (auto & node : {global_, local_}) {
      if (node->get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
        EXPECT_EQ(node->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
      }
    }
  }

  /// Calls ServiceT "/<node>/<suffix>" from @p client and counts the request and its answer.
  template <typename ServiceT>
  void ask(
      const rclcpp::Node::SharedPtr & client, const std::string & node, const std::string & suffix,
      typename ServiceT::Request::SharedPtr request = std::make_shared<typename ServiceT::Request>())
  {
    ++asked_;
    answered_ += server_test::callService<ServiceT>(client, "/" + node + "/" + suffix, request) !=
                 nullptr;
  }

  /// Moves the robot through a small pattern, one step a millisecond.
  void moveRobot(int steps)
  {
    for (int round = 0; round < steps; ++round) {
      robot_.moveTo(0.5 + 0.05 * (round % 20), 0.5 - 0.03 * (round % 10));
      std::this_thread::sleep_for(1ms);
    }
  }

  /// Runs every job on a thread of its own, waits for all, and expects every request answered.
  void runTogether(const std::vector<std::function<void()>> & jobs)
  {
    std::vector<std::thread> threads;
    for (const auto & job : jobs) {
      threads.emplace_back(job);
    }
    for (auto & thread : threads) {
      thread.join();
    }
    EXPECT_EQ(answered_.load(), asked_.load());
  }

  /// Both nodes are still active and each grid follows the last size of its master costmap.
  void expectActiveWithWidth(int width_m)
  {
    for (auto & node : {global_, local_}) {
      EXPECT_EQ(node->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
      auto map = node->getLayeredSemanticmap();
      EXPECT_TRUE(waitFor([&]() {
        uint32_t size_x = 0;
        map->getSemanticmap([&](server_test::Grid * grid) {
          std::lock_guard<std::mutex> lock(grid->mutex);
          size_x = grid->grid->size_x;
        });
        std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*node->getCostmap()->getMutex());
        return size_x == node->getCostmap()->getSizeInCellsX() &&
               size_x == static_cast<uint32_t>(width_m * 10);
      }));
    }
  }

  const std::vector<std::string> node_names_{"global_semanticmap", "local_semanticmap"};
  server_test::RobotPose robot_{"stress_tf"};
  std::shared_ptr<ExposedServerNode> global_ =
      std::make_shared<ExposedServerNode>("global_semanticmap");
  std::shared_ptr<ExposedServerNode> local_ =
      std::make_shared<ExposedServerNode>("local_semanticmap");
  // Declared after the nodes: stops spinning before they go.
  server_test::Spinner spinner_;
  std::atomic<int> answered_{0};
  std::atomic<int> asked_{0};
};

TEST_F(ServerStress, ServicesParametersAndUpdatesTogether)
{
  CallLog::instance().clear();
  robot_.moveTo(0.5, 0.5);
  startBoth(layersFor("g"), layersFor("l"));
  ASSERT_TRUE(waitFor([]() { return countOf("updateMaps") >= 8; }));

  auto hammer = [&](const std::string & client_name, bool clear_first) {
    auto client = rclcpp::Node::make_shared(client_name);
    for (int round = 0; round < kRounds; ++round) {
      for (const auto & node : node_names_) {
        if (clear_first) {
          auto around = std::make_shared<nav2_msgs::srv::ClearCostmapAroundRobot::Request>();
          around->reset_distance = 1.0f;
          ask<nav2_msgs::srv::ClearCostmapAroundRobot>(
              client, node, "brindlex_clear_around_" + node, around);
          ask<nav2_msgs::srv::ClearEntireCostmap>(client, node, "brindlex_clear_entirely_" + node);
        } else {
          auto except = std::make_shared<nav2_msgs::srv::ClearCostmapExceptRegion::Request>();
          except->reset_distance = 2.0f;
          ask<nav2_msgs::srv::ClearCostmapExceptRegion>(
              client, node, "brindlex_clear_except_" + node, except);
          ask<nav2_msgs::srv::LoadMap>(client, node, "brindlex_load_map");
        }
        ask<nav2_msgs::srv::LoadMap>(client, node, "brindlex_load_map");
      }
    }
  };
  auto change_parameters = [&]() {
    for (int round = 0; round < kRounds; ++round) {
      for (auto & node : {global_, local_}) {
        node->set_parameter(rclcpp::Parameter("width", widthOfRound(round)));
        node->set_parameter(rclcpp::Parameter("footprint_padding", 0.01 * (round % 3)));
      }
      global_->set_parameter(rclcpp::Parameter("g_mark.enabled", round % 2 == 0));
      local_->set_parameter(rclcpp::Parameter("l_mark.enabled", round % 2 == 1));
    }
  };
  auto read_grids = [&]() {
    for (int round = 0; round < 4 * kRounds; ++round) {
      for (auto & node : {global_, local_}) {
        node->getLayeredSemanticmap()->getSemanticmap([](server_test::Grid * grid) {
          std::lock_guard<std::mutex> lock(grid->mutex);
          volatile unsigned int sum = 0;
          for (uint32_t i = 0; i < grid->grid->cellCount(); i += 13) {
            sum = sum + static_cast<unsigned int>(grid->grid->types[i]);
          }
        });
      }
    }
  };
  runTogether(
      {[&]() { hammer("stress_client_a", true); },
       [&]() { hammer("stress_client_b", false); },
       change_parameters,
       [&]() { moveRobot(4 * kRounds); },
       read_grids});

  // Both nodes are still cycling.
  const size_t cycles = countOf("updateMaps");
  EXPECT_TRUE(waitFor([&]() { return countOf("updateMaps") >= cycles + 8; }));
  expectActiveWithWidth(widthOfRound(kRounds - 1));
  // Every call into a layer after configuration held the outer mutex.
  for (const auto & call : CallLog::instance().calls()) {
    if (call.operation != "onInitialize" && call.operation != "destroy") {
      ASSERT_TRUE(call.outer_locked) << call.layer << "." << call.operation;
    }
  }
  EXPECT_GE(countOf("reset"), 2u * kRounds);
  EXPECT_GE(countOf("clearArea"), 2u * kRounds);
}

// Every shipped layer: the zones of the example map, then both map-publishing layers, which
// read the master costmap's cells whenever they translate the grid for a subscriber.
std::vector<LayerSpec> shippedLayersFor(const std::string & node)
{
  const auto publisher = [&node](const std::string & name, const std::string & type, bool full) {
    return LayerSpec{
        name,
        type,
        {rclcpp::Parameter("topic_name", "/" + node + "/" + name),
         rclcpp::Parameter("map_publish_frequency", 500.0),
         rclcpp::Parameter("always_send_full_map", full)}};
  };
  return {
      {"zones",
       "semantic_map::StaticMarkLayer",
       {rclcpp::Parameter("map_path_str", std::string(BRINDLEX_EXAMPLE_MAP_DIR))}},
      publisher("obstacle_map", "semantic_map::ObstacleMapPublishLayer", true),
      publisher("covered_map", "semantic_map::CoveredMapPublishLayer", false),
  };
}

// Counts the grids and updates that arrive on each map topic.
class MapListener
{
public:
  explicit MapListener(const std::vector<std::string> & topics)
      : node_(rclcpp::Node::make_shared("stress_map_listener"))
  {
    const auto qos = rclcpp::QoS(1).transient_local().reliable();
    for (const auto & topic : topics) {
      grids_.push_back(node_->create_subscription<nav_msgs::msg::OccupancyGrid>(
          topic, qos, [this, topic](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) {
            count(topic);
          }));
      updates_.push_back(node_->create_subscription<map_msgs::msg::OccupancyGridUpdate>(
          topic + "_updates",
          qos,
          [this, topic](map_msgs::msg::OccupancyGridUpdate::ConstSharedPtr) { count(topic); }));
    }
  }

  rclcpp::Node::SharedPtr node() const { return node_; }

  /// Messages (grids and updates) received on @p topic so far.
  size_t received(const std::string & topic)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[topic];
  }

private:
  void count(const std::string & topic)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[topic];
  }

  rclcpp::Node::SharedPtr node_;
  std::vector<rclcpp::SubscriptionBase::SharedPtr> grids_;
  std::vector<rclcpp::SubscriptionBase::SharedPtr> updates_;
  std::mutex mutex_;
  std::map<std::string, size_t> counts_;
};

TEST_F(ServerStress, ShippedLayersPublishWhileServicesAndParametersChangeTheCostmap)
{
  constexpr int kShippedRounds = 12;
  robot_.moveTo(0.5, 0.5);
  std::vector<std::string> topics;
  for (const auto & node : node_names_) {
    for (const std::string layer : {"obstacle_map", "covered_map"}) {
      topics.push_back("/" + node + "/" + layer);
    }
  }
  MapListener listener(topics);
  // True once every topic has more than before[k] messages.
  const auto all_received = [&](const std::vector<size_t> & before) {
    for (size_t k = 0; k < topics.size(); ++k) {
      if (listener.received(topics[k]) <= before[k]) {
        return false;
      }
    }
    return true;
  };
  server_test::Spinner listener_spinner;
  listener_spinner.add(listener.node()->get_node_base_interface());
  listener_spinner.start();
  startBoth(shippedLayersFor("global_semanticmap"), shippedLayersFor("local_semanticmap"));
  // Every layer publishes: the translation that reads the master costmap is running.
  ASSERT_TRUE(waitFor([&]() { return all_received(std::vector<size_t>(topics.size(), 0)); }));

  auto clear_entirely = [&](const std::string & client_name) {
    auto client = rclcpp::Node::make_shared(client_name);
    for (int round = 0; round < kShippedRounds; ++round) {
      for (const auto & node : node_names_) {
        ask<nav2_msgs::srv::ClearEntireCostmap>(client, node, "brindlex_clear_entirely_" + node);
        ask<nav2_msgs::srv::LoadMap>(client, node, "brindlex_load_map");
      }
    }
  };
  auto clear_regions = [&](const std::string & client_name) {
    auto client = rclcpp::Node::make_shared(client_name);
    for (int round = 0; round < kShippedRounds; ++round) {
      for (const auto & node : node_names_) {
        auto around = std::make_shared<nav2_msgs::srv::ClearCostmapAroundRobot::Request>();
        around->reset_distance = 1.0f;
        auto except = std::make_shared<nav2_msgs::srv::ClearCostmapExceptRegion::Request>();
        except->reset_distance = 2.0f;
        ask<nav2_msgs::srv::ClearCostmapAroundRobot>(
            client, node, "brindlex_clear_around_" + node, around);
        ask<nav2_msgs::srv::ClearCostmapExceptRegion>(
            client, node, "brindlex_clear_except_" + node, except);
        ask<nav2_msgs::srv::ClearEntireCostmap>(client, node, "brindlex_clear_entirely_" + node);
      }
    }
  };
  auto change_parameters = [&]() {
    for (int round = 0; round < kShippedRounds; ++round) {
      for (auto & node : {global_, local_}) {
        node->set_parameter(rclcpp::Parameter("width", widthOfRound(round)));
        node->set_parameter(rclcpp::Parameter("obstacle_map.enabled", round % 3 != 1));
        node->set_parameter(rclcpp::Parameter("covered_map.map_publish_frequency", 400.0));
      }
    }
  };
  runTogether(
      {[&]() { clear_entirely("stress_shipped_client_a"); },
       [&]() { clear_regions("stress_shipped_client_b"); },
       change_parameters,
       [&]() { moveRobot(4 * kShippedRounds); }});

  // Every layer still publishes: after a load request each one sends a full grid again.
  std::vector<size_t> before;
  for (const auto & topic : topics) {
    before.push_back(listener.received(topic));
  }
  auto client = rclcpp::Node::make_shared("stress_shipped_client_c");
  for (const auto & node : node_names_) {
    ASSERT_NE(
        server_test::callService<nav2_msgs::srv::LoadMap>(client, "/" + node + "/brindlex_load_map"),
        nullptr);
  }
  EXPECT_TRUE(waitFor([&]() { return all_received(before); }));
  expectActiveWithWidth(widthOfRound(kShippedRounds - 1));
}

}  // namespace
