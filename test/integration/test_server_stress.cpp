// Both server nodes running while several threads hammer the clear and load services, change
// parameters and move the robot: once with test layers that record every call, once with every
// shipped layer publishing to subscribers. Meant to run under ThreadSanitizer as well: a data
// race, a lock order inversion or a deadlock between the update threads, the service callbacks
// and the parameter callbacks shows up here.
#include <gtest/gtest.h>

#include <atomic>
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

TEST(ServerStress, ServicesParametersAndUpdatesTogether)
{
  CallLog::instance().clear();
  server_test::RobotPose robot("stress_tf");
  robot.moveTo(0.5, 0.5);
  auto global = std::make_shared<ExposedServerNode>("global_semanticmap");
  auto local = std::make_shared<ExposedServerNode>("local_semanticmap");
  CostmapSpec global_costmap;
  global_costmap.update_frequency = 100.0;
  global_costmap.publish_frequency = 50.0;
  CostmapSpec local_costmap = global_costmap;
  local_costmap.rolling_window = true;
  // No Navigation2 layer: the base configures such a layer while holding the master costmap's
  // mutex, and its layer declares parameters there, while the base's own parameter callback takes
  // the master mutex under the parameter lock (as Navigation2 does). That inversion is the base's,
  // and ThreadSanitizer would report it for any parameter change here.
  server_test::setUpNode(*global, global_costmap, layersFor("g"));
  server_test::setUpNode(*local, local_costmap, layersFor("l"));

  {
    server_test::Spinner spinner;
    auto startup = std::async([global, local]() {
      global->configure();
      local->configure();
      global->activate();
      local->activate();
    });
    spinner.add(global->get_node_base_interface());
    spinner.add(local->get_node_base_interface());
    spinner.start();
    startup.get();
    ASSERT_EQ(global->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(local->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_TRUE(waitFor([]() { return countOf("updateMaps") >= 8; }));

    std::atomic<int> answered{0};
    std::atomic<int> asked{0};
    auto hammer = [&](const std::string & client_name, bool clear_first) {
      auto client = rclcpp::Node::make_shared(client_name);
      for (int round = 0; round < kRounds; ++round) {
        for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
          const std::string prefix = "/" + node + "/";
          asked += 3;
          if (clear_first) {
            auto around = std::make_shared<nav2_msgs::srv::ClearCostmapAroundRobot::Request>();
            around->reset_distance = 1.0f;
            answered += server_test::callService<nav2_msgs::srv::ClearCostmapAroundRobot>(
                            client, prefix + "brindlex_clear_around_" + node, around) != nullptr;
            answered += server_test::callService<nav2_msgs::srv::ClearEntireCostmap>(
                            client, prefix + "brindlex_clear_entirely_" + node) != nullptr;
          } else {
            auto except = std::make_shared<nav2_msgs::srv::ClearCostmapExceptRegion::Request>();
            except->reset_distance = 2.0f;
            answered += server_test::callService<nav2_msgs::srv::ClearCostmapExceptRegion>(
                            client, prefix + "brindlex_clear_except_" + node, except) != nullptr;
            answered += server_test::callService<nav2_msgs::srv::LoadMap>(
                            client, prefix + "brindlex_load_map") != nullptr;
          }
          answered += server_test::callService<nav2_msgs::srv::LoadMap>(
                          client, prefix + "brindlex_load_map") != nullptr;
        }
      }
    };
    auto change_parameters = [&]() {
      for (int round = 0; round < kRounds; ++round) {
        for (auto & node : {global, local}) {
          node->set_parameter(rclcpp::Parameter("width", widthOfRound(round)));
          node->set_parameter(rclcpp::Parameter("footprint_padding", 0.01 * (round % 3)));
        }
        global->set_parameter(rclcpp::Parameter("g_mark.enabled", round % 2 == 0));
        local->set_parameter(rclcpp::Parameter("l_mark.enabled", round % 2 == 1));
      }
    };
    auto move_robot = [&]() {
      for (int round = 0; round < 4 * kRounds; ++round) {
        robot.moveTo(0.5 + 0.05 * (round % 20), 0.5 - 0.03 * (round % 10));
        std::this_thread::sleep_for(1ms);
      }
    };
    auto read_grids = [&]() {
      for (int round = 0; round < 4 * kRounds; ++round) {
        for (auto & node : {global, local}) {
          auto map = node->getLayeredSemanticmap();
          map->getSemanticmap([](server_test::Grid * grid) {
            std::lock_guard<std::mutex> lock(grid->mutex);
            volatile unsigned int sum = 0;
            for (uint32_t i = 0; i < grid->grid->cellCount(); i += 13) {
              sum = sum + static_cast<unsigned int>(grid->grid->types[i]);
            }
          });
        }
      }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(hammer, "stress_client_a", true);
    threads.emplace_back(hammer, "stress_client_b", false);
    threads.emplace_back(change_parameters);
    threads.emplace_back(move_robot);
    threads.emplace_back(read_grids);
    for (auto & thread : threads) {
      thread.join();
    }
    EXPECT_EQ(answered.load(), asked.load());

    // Both nodes are still active and still cycling.
    const size_t cycles = countOf("updateMaps");
    EXPECT_TRUE(waitFor([&]() { return countOf("updateMaps") >= cycles + 8; }));
    EXPECT_EQ(global->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    EXPECT_EQ(local->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    // The grids follow the last size of their master costmaps.
    for (auto & node : {global, local}) {
      auto map = node->getLayeredSemanticmap();
      EXPECT_TRUE(waitFor([&]() {
        uint32_t size_x = 0;
        map->getSemanticmap([&](server_test::Grid * grid) {
          std::lock_guard<std::mutex> lock(grid->mutex);
          size_x = grid->grid->size_x;
        });
        std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*node->getCostmap()->getMutex());
        return size_x == node->getCostmap()->getSizeInCellsX() &&
               size_x == static_cast<uint32_t>(widthOfRound(kRounds - 1) * 10);
      }));
    }
    // Every call into a layer after configuration held the outer mutex.
    for (const auto & call : CallLog::instance().calls()) {
      if (call.operation != "onInitialize" && call.operation != "destroy") {
        ASSERT_TRUE(call.outer_locked) << call.layer << "." << call.operation;
      }
    }
    EXPECT_GE(countOf("reset"), 2u * kRounds);
    EXPECT_GE(countOf("clearArea"), 2u * kRounds);

    ASSERT_EQ(global->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(local->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  }
  global.reset();
  local.reset();
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

TEST(ServerStress, ShippedLayersPublishWhileServicesAndParametersChangeTheCostmap)
{
  constexpr int kShippedRounds = 12;
  server_test::RobotPose robot("stress_shipped_tf");
  robot.moveTo(0.5, 0.5);
  auto global = std::make_shared<ExposedServerNode>("global_semanticmap");
  auto local = std::make_shared<ExposedServerNode>("local_semanticmap");
  CostmapSpec global_costmap;
  global_costmap.update_frequency = 100.0;
  global_costmap.publish_frequency = 50.0;
  CostmapSpec local_costmap = global_costmap;
  local_costmap.rolling_window = true;
  // No Navigation2 layer, for the reason given in the test above; the master costmap is still
  // reset by every clear-entirely request and resized by every width change.
  server_test::setUpNode(*global, global_costmap, shippedLayersFor("global_semanticmap"));
  server_test::setUpNode(*local, local_costmap, shippedLayersFor("local_semanticmap"));

  std::vector<std::string> topics;
  for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
    for (const std::string layer : {"obstacle_map", "covered_map"}) {
      topics.push_back("/" + node + "/" + layer);
    }
  }
  MapListener listener(topics);
  const auto all_received = [&](size_t at_least) {
    for (const auto & topic : topics) {
      if (listener.received(topic) < at_least) {
        return false;
      }
    }
    return true;
  };

  {
    server_test::Spinner spinner;
    server_test::Spinner listener_spinner;
    auto startup = std::async([global, local]() {
      global->configure();
      local->configure();
      global->activate();
      local->activate();
    });
    spinner.add(global->get_node_base_interface());
    spinner.add(local->get_node_base_interface());
    spinner.start();
    listener_spinner.add(listener.node()->get_node_base_interface());
    listener_spinner.start();
    startup.get();
    ASSERT_EQ(global->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(local->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    // Every layer publishes: the translation that reads the master costmap is running.
    ASSERT_TRUE(waitFor([&]() { return all_received(1); }));

    std::atomic<int> answered{0};
    std::atomic<int> asked{0};
    auto clear_entirely = [&](const std::string & client_name) {
      auto client = rclcpp::Node::make_shared(client_name);
      for (int round = 0; round < kShippedRounds; ++round) {
        for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
          asked += 2;
          answered += server_test::callService<nav2_msgs::srv::ClearEntireCostmap>(
                          client, "/" + node + "/brindlex_clear_entirely_" + node) != nullptr;
          answered += server_test::callService<nav2_msgs::srv::LoadMap>(
                          client, "/" + node + "/brindlex_load_map") != nullptr;
        }
      }
    };
    auto clear_regions = [&](const std::string & client_name) {
      auto client = rclcpp::Node::make_shared(client_name);
      for (int round = 0; round < kShippedRounds; ++round) {
        for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
          const std::string prefix = "/" + node + "/";
          auto around = std::make_shared<nav2_msgs::srv::ClearCostmapAroundRobot::Request>();
          around->reset_distance = 1.0f;
          auto except = std::make_shared<nav2_msgs::srv::ClearCostmapExceptRegion::Request>();
          except->reset_distance = 2.0f;
          asked += 3;
          answered += server_test::callService<nav2_msgs::srv::ClearCostmapAroundRobot>(
                          client, prefix + "brindlex_clear_around_" + node, around) != nullptr;
          answered += server_test::callService<nav2_msgs::srv::ClearCostmapExceptRegion>(
                          client, prefix + "brindlex_clear_except_" + node, except) != nullptr;
          answered += server_test::callService<nav2_msgs::srv::ClearEntireCostmap>(
                          client, prefix + "brindlex_clear_entirely_" + node) != nullptr;
        }
      }
    };
    auto change_parameters = [&]() {
      for (int round = 0; round < kShippedRounds; ++round) {
        for (auto & node : {global, local}) {
          node->set_parameter(rclcpp::Parameter("width", widthOfRound(round)));
          node->set_parameter(rclcpp::Parameter("obstacle_map.enabled", round % 3 != 1));
          node->set_parameter(rclcpp::Parameter("covered_map.map_publish_frequency", 400.0));
        }
      }
    };
    auto move_robot = [&]() {
      for (int round = 0; round < 4 * kShippedRounds; ++round) {
        robot.moveTo(0.5 + 0.05 * (round % 20), 0.5 - 0.03 * (round % 10));
        std::this_thread::sleep_for(1ms);
      }
    };

    std::vector<std::thread> threads;
    threads.reserve(4);
    threads.emplace_back(clear_entirely, "stress_shipped_client_a");
    threads.emplace_back(clear_regions, "stress_shipped_client_b");
    threads.emplace_back(change_parameters);
    threads.emplace_back(move_robot);
    for (auto & thread : threads) {
      thread.join();
    }
    EXPECT_EQ(answered.load(), asked.load());

    // Both nodes are still active, and every layer still publishes: after a load request each
    // one sends a full grid again.
    std::vector<size_t> before;
    for (const auto & topic : topics) {
      before.push_back(listener.received(topic));
    }
    auto client = rclcpp::Node::make_shared("stress_shipped_client_c");
    for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
      ASSERT_NE(
          server_test::callService<nav2_msgs::srv::LoadMap>(
              client, "/" + node + "/brindlex_load_map"),
          nullptr);
    }
    EXPECT_TRUE(waitFor([&]() {
      for (size_t k = 0; k < topics.size(); ++k) {
        if (listener.received(topics[k]) <= before[k]) {
          return false;
        }
      }
      return true;
    }));
    EXPECT_EQ(global->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    EXPECT_EQ(local->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    for (auto & node : {global, local}) {
      auto map = node->getLayeredSemanticmap();
      EXPECT_TRUE(waitFor([&]() {
        uint32_t size_x = 0;
        map->getSemanticmap([&](server_test::Grid * grid) {
          std::lock_guard<std::mutex> lock(grid->mutex);
          size_x = grid->grid->size_x;
        });
        std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*node->getCostmap()->getMutex());
        return size_x == node->getCostmap()->getSizeInCellsX() &&
               size_x == static_cast<uint32_t>(widthOfRound(kShippedRounds - 1) * 10);
      }));
    }

    ASSERT_EQ(global->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(local->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  }
  global.reset();
  local.reset();
}

}  // namespace
