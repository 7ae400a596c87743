// The node's update cycle: one updateMap() at a time on a configured node, and the running
// map-update thread (size changes, announced maps, failures inside a cycle).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "call_log.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "log_capture.hpp"
#include "server_test_helpers.hpp"

namespace {

using lifecycle_msgs::msg::State;
using semantic_map_test::CallLog;
using server_test::countRecords;
using server_test::CostmapSpec;
using server_test::ExposedServerNode;
using server_test::Flags;
using server_test::LayerSpec;
using server_test::waitFor;
using namespace std::chrono_literals;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

size_t countOf(const std::string & op) { return CallLog::instance().calls(op).size(); }

class ServerCycleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    CallLog::instance().clear();
    name_ = std::string("cycle_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // Parameterised tests are named "Name/Param": keep the node name valid.
    std::replace(name_.begin(), name_.end(), '/', '_');
    robot_ = std::make_unique<server_test::RobotPose>(name_ + "_tf");
    robot_->moveTo(0.5, 0.5);
    node_ = std::make_shared<ExposedServerNode>(name_);
  }

  void TearDown() override
  {
    // The layers must go before the node's plug-in loader does.
    map_.reset();
    server_test::windDown(node_);
    spinner_.reset();
    node_.reset();
  }

  // Configures the node (inactive: no update thread, cycles run only when the test asks), with
  // @p node_parameters set over the ones of the costmap.
  void configure(
      const std::vector<LayerSpec> & layers = {{"rec", "semantic_map_test::RecordingLayer", {}}},
      const std::vector<rclcpp::Parameter> & node_parameters = {})
  {
    server_test::setUpNode(*node_, CostmapSpec(), layers);
    node_->set_parameters(node_parameters);
    spinner_ = std::make_unique<server_test::Spinner>();
    spinner_->add(node_->get_node_base_interface());
    spinner_->start();
    ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
    map_ = node_->getLayeredSemanticmap();
    ASSERT_NE(map_, nullptr);
  }

  // Runs updateMap() until the robot pose has reached the node's TF buffer.
  void firstCycle()
  {
    ASSERT_TRUE(waitFor([&]() {
      node_->updateMap();
      return countOf("updateMaps") > 0;
    }));
  }

  void markAll(unsigned int flag)
  {
    std::lock_guard<std::mutex> lock(map_->semanticmap.mutex);
    auto & store = *map_->semanticmap.grid;
    for (uint32_t i = 0; i < store.cellCount(); ++i) {
      store.types[i] = flag;
      store.heights[i] = 1.0f;
    }
  }

  std::string name_;
  std::unique_ptr<server_test::RobotPose> robot_;
  std::shared_ptr<ExposedServerNode> node_;
  std::unique_ptr<server_test::Spinner> spinner_;
  std::shared_ptr<server_test::LayeredMap> map_;
};

TEST_F(ServerCycleTest, FirstCycleResizesOnceThenOnlyAfterALoadAnnouncement)
{
  configure();
  firstCycle();
  EXPECT_EQ(countOf("matchSize"), 1u);
  EXPECT_FALSE(node_->new_map_loaded.load());
  EXPECT_TRUE(node_->initialized_.load());
  EXPECT_TRUE(map_->initialized);

  markAll(Flags::CARPET);
  node_->updateMap();
  EXPECT_EQ(countOf("matchSize"), 1u);
  EXPECT_EQ(server_test::cellAt(map_->semanticmap, 3, 3).first, 256u);

  node_->LoadNewMap();
  node_->updateMap();
  EXPECT_EQ(countOf("matchSize"), 2u);
  EXPECT_FALSE(node_->new_map_loaded.load());
  EXPECT_TRUE(server_test::allCellsEmpty(map_->semanticmap));
  // matchSize comes before the cycle's bounds and maps.
  const auto calls = CallLog::instance().calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 3].operation, "matchSize");
  EXPECT_EQ(calls[calls.size() - 2].operation, "updateBounds");
  EXPECT_EQ(calls[calls.size() - 1].operation, "updateMaps");
}

// The map-publishing layers read master costmap cells, which the clear-entirely service resets
// under the master costmap's mutex: the cycle holds that mutex, before the outer one, around
// every call into the layers.
TEST_F(ServerCycleTest, LayerCallsOfTheCycleHoldTheMasterCostmapMutex)
{
  configure();
  firstCycle();
  node_->LoadNewMap();
  node_->updateMap();
  for (const std::string operation : {"matchSize", "updateBounds", "updateMaps"}) {
    const auto calls = CallLog::instance().calls(operation);
    ASSERT_FALSE(calls.empty()) << operation;
    for (const auto & call : calls) {
      EXPECT_TRUE(call.master_locked) << operation;
      EXPECT_TRUE(call.outer_locked) << operation;
    }
  }
}

TEST_F(ServerCycleTest, MasterCostmapSizeOrResolutionChangeResizesTheGridFirst)
{
  configure();
  firstCycle();
  const size_t resizes = countOf("matchSize");
  markAll(Flags::CHAIR);

  auto * layered = node_->getLayeredCostmap();
  layered->resizeMap(25, 30, 0.1, -2.0, -2.0);
  node_->updateMap();
  EXPECT_EQ(countOf("matchSize"), resizes + 1);
  EXPECT_EQ(map_->semanticmap.grid->size_x, 25u);
  EXPECT_EQ(map_->semanticmap.grid->size_y, 30u);
  EXPECT_TRUE(server_test::allCellsEmpty(map_->semanticmap));

  layered->resizeMap(25, 30, 0.2, -2.0, -2.0);
  node_->updateMap();
  EXPECT_EQ(countOf("matchSize"), resizes + 2);
  EXPECT_EQ(map_->semanticmap.resolution, 0.2);
}

TEST_F(ServerCycleTest, StopUpdatesLeavesEverythingAlone)
{
  configure();
  node_->stop_updates_ = true;
  node_->updateMap();
  EXPECT_TRUE(CallLog::instance().calls("updateBounds").empty());
  EXPECT_TRUE(CallLog::instance().calls("matchSize").empty());
  EXPECT_TRUE(node_->new_map_loaded.load());
  EXPECT_FALSE(node_->initialized_.load());
  node_->stop_updates_ = false;
  firstCycle();
}

TEST_F(ServerCycleTest, MissingRobotPoseEndsTheCycleQuietly)
{
  configure(
      {{"rec", "semantic_map_test::RecordingLayer", {}}},
      {rclcpp::Parameter("robot_base_frame", std::string("nowhere_link"))});
  node_->updateMap();
  EXPECT_TRUE(CallLog::instance().calls("updateBounds").empty());
  EXPECT_TRUE(node_->new_map_loaded.load());
  EXPECT_FALSE(node_->initialized_.load());
}

TEST_F(ServerCycleTest, ZeroFrequencyLoopReturnsWithoutACycle)
{
  configure();
  node_->mapUpdateLoop(0.0);
  EXPECT_TRUE(CallLog::instance().calls("updateBounds").empty());
  EXPECT_TRUE(node_->new_map_loaded.load());
}

TEST_F(ServerCycleTest, LoopStopsWhenTheShutdownFlagIsSet)
{
  configure();
  node_->stopped_ = false;
  std::thread loop([&]() { node_->mapUpdateLoop(100.0); });
  EXPECT_TRUE(waitFor([]() { return countOf("updateMaps") >= 3; }));
  node_->map_update_thread_shutdown_ = true;
  loop.join();
  const size_t cycles = countOf("updateMaps");
  node_->updateMap();  // the test's own cycle is the only one now
  EXPECT_EQ(countOf("updateMaps"), cycles + 1);
  node_->stopped_ = true;
  node_->map_update_thread_shutdown_ = false;
}

class FailingLayerCycleTest : public ServerCycleTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(FailingLayerCycleTest, IsLoggedAndTheLoopGoesOn)
{
  const bool throw_std = GetParam();
  test_util::ScopedCapture capture;
  configure(
      {{"bad",
        "semantic_map_test::RecordingLayer",
        {rclcpp::Parameter("throw_in", std::string("updateBounds")),
         rclcpp::Parameter("throw_std", throw_std)}}});
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  ASSERT_TRUE(waitFor([]() { return countOf("updateBounds") >= 3; }));
  // Each failure was reported, none reached updateMaps, and no lock was left behind.
  const std::string expected = throw_std
      ? "SemanticmapROS::mapUpdateLoop update failed: test layer bad fails in updateBounds"
      : "SemanticmapROS::mapUpdateLoop update failed: unknown exception";
  EXPECT_GE(countRecords(capture.records(), spdlog::level::err, expected), 2);
  EXPECT_EQ(countOf("updateMaps"), 0u);
  map_->getSemanticmap(
      [](server_test::Grid * grid) { std::lock_guard<std::mutex> l(grid->mutex); });
  ASSERT_EQ(node_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
}

INSTANTIATE_TEST_SUITE_P(
    StdAndOtherExceptions,
    FailingLayerCycleTest,
    ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool> & info) {
      return info.param ? std::string("StdException") : std::string("NotAStdException");
    });

TEST_F(ServerCycleTest, SizeParameterChangeWhileActiveResizesTheGrid)
{
  configure();
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  ASSERT_TRUE(waitFor([]() { return countOf("updateMaps") >= 1; }));
  const auto result = node_->set_parameter(rclcpp::Parameter("width", 6));
  ASSERT_TRUE(result.successful) << result.reason;
  ASSERT_TRUE(waitFor([&]() {
    uint32_t size_x = 0;
    map_->getSemanticmap([&](server_test::Grid * grid) {
      std::lock_guard<std::mutex> lock(grid->mutex);
      size_x = grid->grid->size_x;
    });
    return size_x == 60u;
  }));
  EXPECT_GE(countOf("matchSize"), 2u);
}

TEST_F(ServerCycleTest, LoadAnnouncedWhileActiveResizesOnTheNextCycle)
{
  configure();
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  ASSERT_TRUE(waitFor([]() { return countOf("matchSize") >= 1 && countOf("updateMaps") >= 1; }));
  const size_t resizes = countOf("matchSize");
  node_->LoadNewMap();
  ASSERT_TRUE(waitFor([&]() { return countOf("matchSize") == resizes + 1; }));
  EXPECT_TRUE(waitFor([&]() { return !node_->new_map_loaded.load(); }));
}

}  // namespace
