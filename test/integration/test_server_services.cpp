// The clear and load services of two running server nodes in one process, called through clients.
#include <gtest/gtest.h>

#include <array>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "call_log.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "log_capture.hpp"
#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_layer.hpp"
#include "nav2_msgs/srv/clear_costmap_around_robot.hpp"
#include "nav2_msgs/srv/clear_costmap_except_region.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "nav2_msgs/srv/load_map.hpp"
#include "server_test_helpers.hpp"

namespace {

using lifecycle_msgs::msg::State;
using nav2_msgs::srv::ClearCostmapAroundRobot;
using nav2_msgs::srv::ClearCostmapExceptRegion;
using nav2_msgs::srv::ClearEntireCostmap;
using nav2_msgs::srv::LoadMap;
using semantic_map_test::CallLog;
using semantic_map_test::LayerCall;
using server_test::CostmapSpec;
using server_test::ExposedServerNode;
using server_test::LayerSpec;
using server_test::waitFor;
using namespace std::chrono_literals;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

std::vector<LayerCall> callsOf(const std::string & op, const std::string & prefix)
{
  std::vector<LayerCall> selected;
  for (const auto & call : CallLog::instance().calls(op)) {
    if (call.layer.rfind(prefix, 0) == 0) {
      selected.push_back(call);
    }
  }
  return selected;
}

// The area a clearArea call received: its four arguments in order.
std::array<double, 4> areaOf(const LayerCall & call) { return {call.a, call.b, call.c, call.d}; }

// Both nodes as the executable runs them: created with make_shared, served by one two-thread
// executor, configured and activated on a start-up thread while the executor spins. The robot
// stands at (1, 1); each node has a Navigation2 layer marking (1.05, 1.05) and (-1.45, -1.45).
class ServicesTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    robot_ = new server_test::RobotPose("services_tf");
    robot_->moveTo(1.0, 1.0);
    client_ = rclcpp::Node::make_shared("services_client");
    global_ = std::make_shared<ExposedServerNode>("global_semanticmap");
    local_ = std::make_shared<ExposedServerNode>("local_semanticmap");
    const std::vector<LayerSpec> global_layers{
        {"g_clear", "semantic_map_test::RecordingLayer", {rclcpp::Parameter("clearable", true)}},
        {"g_plain", "semantic_map_test::RecordingLayer", {}},
    };
    const std::vector<LayerSpec> local_layers{
        {"l_clear", "semantic_map_test::RecordingLayer", {rclcpp::Parameter("clearable", true)}},
    };
    CostmapSpec local_costmap;
    local_costmap.rolling_window = true;
    server_test::setUpNode(*global_, CostmapSpec(), global_layers, true);
    server_test::setUpNode(*local_, local_costmap, local_layers, true);
    for (auto & node : {global_, local_}) {
      node->declare_parameter("marks.mark_points", std::vector<double>{1.05, 1.05, -1.45, -1.45});
    }
    spinner_ = new server_test::Spinner();
    auto startup = std::async([global = global_, local = local_]() {
      global->configure();
      local->configure();
      global->activate();
      local->activate();
    });
    spinner_->add(global_->get_node_base_interface());
    spinner_->add(local_->get_node_base_interface());
    spinner_->start();
    startup.get();
  }

  static void TearDownTestSuite()
  {
    delete spinner_;
    spinner_ = nullptr;
    global_.reset();
    local_.reset();
    client_.reset();
    delete robot_;
    robot_ = nullptr;
  }

  void SetUp() override
  {
    ASSERT_EQ(global_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_EQ(local_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);
    CallLog::instance().clear();
  }

  template <typename ServiceT>
  typename ServiceT::Response::SharedPtr clear(
      const std::string & node, const std::string & kind, float distance)
  {
    auto request = std::make_shared<typename ServiceT::Request>();
    request->reset_distance = distance;
    return server_test::callService<ServiceT>(
        client_, "/" + node + "/brindlex_clear_" + kind + "_" + node, request);
  }

  // Cost of the Navigation2 test layer of @p node at a world point.
  static unsigned char markCost(ExposedServerNode & node, double wx, double wy)
  {
    auto layer = std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(
        node.getLayeredCostmap()->getPlugins()->at(0));
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layer->getMutex());
    unsigned int mx, my;
    if (!layer->worldToMap(wx, wy, mx, my)) {
      return 0;
    }
    return layer->getCost(mx, my);
  }

  static void remark(ExposedServerNode & node)
  {
    auto layer = node.getLayeredCostmap()->getPlugins()->at(0);
    layer->matchSize();
  }

  static server_test::RobotPose * robot_;
  static rclcpp::Node::SharedPtr client_;
  static std::shared_ptr<ExposedServerNode> global_;
  static std::shared_ptr<ExposedServerNode> local_;
  static server_test::Spinner * spinner_;
};

server_test::RobotPose * ServicesTest::robot_ = nullptr;
rclcpp::Node::SharedPtr ServicesTest::client_;
std::shared_ptr<ExposedServerNode> ServicesTest::global_;
std::shared_ptr<ExposedServerNode> ServicesTest::local_;
server_test::Spinner * ServicesTest::spinner_ = nullptr;

TEST_F(ServicesTest, ClearAroundOffersTheSquareToClearableLayersOnly)
{
  remark(*global_);
  ASSERT_EQ(markCost(*global_, 1.05, 1.05), nav2_costmap_2d::LETHAL_OBSTACLE);
  ASSERT_NE(clear<ClearCostmapAroundRobot>("global_semanticmap", "around", 2.0f), nullptr);

  const auto cleared = callsOf("clearArea", "g_");
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_EQ(cleared[0].layer, "g_clear");
  EXPECT_EQ(areaOf(cleared[0]), (std::array<double, 4>{0.0, 0.0, 2.0, 2.0}));
  EXPECT_FALSE(cleared[0].invert);
  EXPECT_TRUE(cleared[0].outer_locked);
  EXPECT_NE(cleared[0].thread, std::this_thread::get_id());
  // Every layer was asked, in list order.
  const auto asked = callsOf("isClearable", "g_");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].layer, "g_clear");
  EXPECT_EQ(asked[1].layer, "g_plain");
  EXPECT_TRUE(asked[1].outer_locked);
  // The other node's layers were not.
  EXPECT_TRUE(callsOf("isClearable", "l_").empty());
  // The Navigation2 layer lost the mark inside the square and kept the one outside.
  EXPECT_EQ(markCost(*global_, 1.05, 1.05), nav2_costmap_2d::NO_INFORMATION);
  EXPECT_EQ(markCost(*global_, -1.45, -1.45), nav2_costmap_2d::LETHAL_OBSTACLE);
}

TEST_F(ServicesTest, ClearExceptOffersTheSameSquareInverted)
{
  remark(*global_);
  ASSERT_NE(clear<ClearCostmapExceptRegion>("global_semanticmap", "except", 2.0f), nullptr);
  const auto cleared = callsOf("clearArea", "g_");
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_EQ(areaOf(cleared[0]), (std::array<double, 4>{0.0, 0.0, 2.0, 2.0}));
  EXPECT_TRUE(cleared[0].invert);
  EXPECT_EQ(markCost(*global_, 1.05, 1.05), nav2_costmap_2d::LETHAL_OBSTACLE);
  EXPECT_EQ(markCost(*global_, -1.45, -1.45), nav2_costmap_2d::NO_INFORMATION);
}

TEST_F(ServicesTest, ZeroAndNegativeDistancesArePassedOnUnchanged)
{
  ASSERT_NE(clear<ClearCostmapAroundRobot>("local_semanticmap", "around", 0.0f), nullptr);
  ASSERT_NE(clear<ClearCostmapAroundRobot>("local_semanticmap", "around", -2.0f), nullptr);
  const auto cleared = callsOf("clearArea", "l_");
  ASSERT_EQ(cleared.size(), 2u);
  EXPECT_EQ(areaOf(cleared[0]), (std::array<double, 4>{1.0, 1.0, 1.0, 1.0}));
  EXPECT_EQ(areaOf(cleared[1]), (std::array<double, 4>{2.0, 2.0, 0.0, 0.0}));
  EXPECT_TRUE(callsOf("clearArea", "g_").empty());
}

TEST_F(ServicesTest, ClearEntirelyEmptiesTheGridAndResetsLayersUnderBothLocks)
{
  remark(*global_);
  auto map = global_->getLayeredSemanticmap();
  map->getSemanticmap([](server_test::Grid * grid) {
    std::lock_guard<std::mutex> lock(grid->mutex);
    for (uint32_t i = 0; i < grid->grid->cellCount(); i += 7) {
      grid->grid->types[i] = server_test::Flags::STUBBORN_STAIN;
      grid->grid->heights[i] = 0.25f;
    }
  });
  ASSERT_NE(
      server_test::callService<ClearEntireCostmap>(
          client_, "/global_semanticmap/brindlex_clear_entirely_global_semanticmap"),
      nullptr);

  EXPECT_TRUE(server_test::allCellsEmpty(map->semanticmap));
  const auto resets = callsOf("reset", "g_");
  ASSERT_EQ(resets.size(), 2u);
  EXPECT_EQ(resets[0].layer, "g_clear");
  EXPECT_EQ(resets[1].layer, "g_plain");
  for (const auto & call : resets) {
    EXPECT_TRUE(call.master_locked) << call.layer;
    EXPECT_TRUE(call.outer_locked) << call.layer;
    EXPECT_FALSE(call.grid_locked) << call.layer;
  }
  EXPECT_TRUE(callsOf("reset", "l_").empty());
  EXPECT_EQ(markCost(*global_, 1.05, 1.05), nav2_costmap_2d::NO_INFORMATION);
  EXPECT_EQ(markCost(*global_, -1.45, -1.45), nav2_costmap_2d::NO_INFORMATION);
}

TEST_F(ServicesTest, LoadAnswersEmptyAndTheNextCycleResizesThatNodeOnly)
{
  auto request = std::make_shared<LoadMap::Request>();
  request->map_url = "/does/not/matter.yaml";
  auto response =
      server_test::callService<LoadMap>(client_, "/local_semanticmap/brindlex_load_map", request);
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(response->result, 0);
  EXPECT_TRUE(response->map.data.empty());
  EXPECT_EQ(response->map.info.width, 0u);

  ASSERT_TRUE(waitFor([]() { return !callsOf("matchSize", "l_").empty(); }));
  // The matchSize came from the local node's update thread, under the outer mutex.
  const auto resized = callsOf("matchSize", "l_");
  EXPECT_EQ(resized[0].thread, local_->updateThreadId());
  EXPECT_TRUE(resized[0].outer_locked);
  EXPECT_TRUE(callsOf("matchSize", "g_").empty());
  EXPECT_TRUE(waitFor([]() { return !local_->new_map_loaded.load(); }));
  EXPECT_FALSE(global_->new_map_loaded.load());
}

TEST_F(ServicesTest, EachNodeOffersItsOwnServices)
{
  for (const std::string node : {"global_semanticmap", "local_semanticmap"}) {
    const std::string prefix = "/" + node + "/brindlex_clear_";
    EXPECT_TRUE(client_->create_client<ClearCostmapExceptRegion>(prefix + "except_" + node)
                    ->wait_for_service(10s))
        << node;
    EXPECT_TRUE(client_->create_client<ClearCostmapAroundRobot>(prefix + "around_" + node)
                    ->wait_for_service(10s))
        << node;
    EXPECT_TRUE(client_->create_client<ClearEntireCostmap>(prefix + "entirely_" + node)
                    ->wait_for_service(10s))
        << node;
    EXPECT_TRUE(
        client_->create_client<LoadMap>("/" + node + "/brindlex_load_map")->wait_for_service(10s))
        << node;
  }
  ASSERT_NE(
      server_test::callService<ClearEntireCostmap>(
          client_, "/local_semanticmap/brindlex_clear_entirely_local_semanticmap"),
      nullptr);
  EXPECT_EQ(callsOf("reset", "l_").size(), 1u);
  EXPECT_TRUE(callsOf("reset", "g_").empty());
}

// A node without a robot pose: configured only (activation would wait for TF).
TEST(ServicesWithoutPose, ClearRequestLogsAnErrorAndTouchesNoLayer)
{
  CallLog::instance().clear();
  auto node = std::make_shared<ExposedServerNode>("blind_semanticmap");
  server_test::setUpNode(
      *node,
      CostmapSpec(),
      {{"b_clear", "semantic_map_test::RecordingLayer", {rclcpp::Parameter("clearable", true)}}},
      true);
  node->declare_parameter("marks.mark_points", std::vector<double>{0.05, 0.05});
  node->set_parameter(rclcpp::Parameter("robot_base_frame", std::string("nowhere_link")));
  auto client = rclcpp::Node::make_shared("blind_client");
  {
    server_test::Spinner spinner;
    spinner.add(node->get_node_base_interface());
    spinner.start();
    ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE);
    test_util::ScopedCapture capture;
    auto request = std::make_shared<ClearCostmapAroundRobot::Request>();
    request->reset_distance = 100.0f;
    EXPECT_NE(
        server_test::callService<ClearCostmapAroundRobot>(
            client, "/blind_semanticmap/brindlex_clear_around_blind_semanticmap", request),
        nullptr);
    EXPECT_EQ(
        server_test::countRecords(
            capture.records(),
            spdlog::level::err,
            "ClearSemanticmapService::clearRegion Cannot clear map because robot pose cannot be "
            "retrieved."),
        1);
    EXPECT_TRUE(CallLog::instance().calls("isClearable").empty());
    EXPECT_TRUE(CallLog::instance().calls("clearArea").empty());
    auto layer = std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(
        node->getLayeredCostmap()->getPlugins()->at(0));
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layer->getMutex());
    unsigned int mx, my;
    ASSERT_TRUE(layer->worldToMap(0.05, 0.05, mx, my));
    EXPECT_EQ(layer->getCost(mx, my), nav2_costmap_2d::LETHAL_OBSTACLE);
  }
  node->cleanup();
}

}  // namespace
