// The server node through its lifecycle with test layers loaded by pluginlib: construction,
// configure, activate with the thread hand-over, deactivate, cleanup, configure again and
// destruction, and what each step does to the layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "call_log.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "log_capture.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "server_test_helpers.hpp"

namespace {

using lifecycle_msgs::msg::State;
using semantic_map_test::CallLog;
using semantic_map_test::LayerCall;
using server_test::CostmapSpec;
using server_test::ExposedServerNode;
using server_test::LayerSpec;
using server_test::waitFor;
using namespace std::chrono_literals;

const auto * const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new server_test::RosEnvironment);

std::vector<std::string> operationsOf(const std::vector<LayerCall> & calls, const std::string & op)
{
  std::vector<std::string> layers;
  for (const auto & call : calls) {
    if (call.operation == op) {
      layers.push_back(call.layer);
    }
  }
  return layers;
}

// The layered map's initialised flag, read under its outer mutex (the update thread writes it).
bool initializedFlag(server_test::LayeredMap & map)
{
  bool initialized = false;
  map.getSemanticmap([&](server_test::Grid *) { initialized = map.initialized; });
  return initialized;
}

size_t countOf(const std::string & op) { return CallLog::instance().calls(op).size(); }

class ServerLifecycleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    CallLog::instance().clear();
    name_ =
        std::string("semantic_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    robot_ = std::make_unique<server_test::RobotPose>(name_ + "_tf");
    robot_->moveTo(0.5, 0.5);
    node_ = std::make_shared<ExposedServerNode>(name_);
  }

  void TearDown() override
  {
    server_test::windDown(node_);
    spinner_.reset();
    node_.reset();
  }

  void setUp(const std::vector<LayerSpec> & layers, const CostmapSpec & costmap = CostmapSpec())
  {
    server_test::setUpNode(*node_, costmap, layers);
    spinner_ = std::make_unique<server_test::Spinner>();
    spinner_->add(node_->get_node_base_interface());
    spinner_->start();
  }

  // Two layers, configured and activated; returns once the update thread has run two cycles.
  void activateTwoLayers()
  {
    setUp(twoLayers());
    ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
    ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
    ASSERT_TRUE(waitFor([]() { return countOf("updateBounds") >= 2; }));
  }

  static std::vector<LayerSpec> twoLayers()
  {
    return {
        {"first", "semantic_map_test::RecordingLayer", {}},
        {"second",
         "semantic_map_test::RecordingLayer",
         {rclcpp::Parameter("enabled", false), rclcpp::Parameter("bounds", std::string("whole"))}},
    };
  }

  std::string name_;
  std::unique_ptr<server_test::RobotPose> robot_;
  std::shared_ptr<ExposedServerNode> node_;
  std::unique_ptr<server_test::Spinner> spinner_;
};

TEST_F(ServerLifecycleTest, ConstructedNodeHasNoMapAndRefusesAReset)
{
  EXPECT_EQ(node_->getLayeredSemanticmap(), nullptr);
  EXPECT_EQ(node_->clear_service, nullptr);
  EXPECT_EQ(node_->load_service, nullptr);
  EXPECT_TRUE(node_->new_map_loaded.load());
  std::vector<std::string> names{"unset"};
  ASSERT_TRUE(node_->get_parameter("semanticmap_plugins", names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(node_->map_update_thread_);

  // Reset before configure is refused.
  try {
    node_->resetMap();
    FAIL() << "resetMap before configure must throw";
  } catch (const std::system_error & e) {
    EXPECT_EQ(e.code(), std::make_error_code(std::errc::operation_not_permitted));
  }
  // The node is untouched and configures normally afterwards.
  setUp(twoLayers());
  EXPECT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_NE(node_->getLayeredSemanticmap(), nullptr);
}

TEST_F(ServerLifecycleTest, ConfigureLoadsLayersInListOrderAndSizesTheGrid)
{
  CostmapSpec costmap;
  costmap.width_m = 3;
  costmap.height_m = 2;
  costmap.resolution = 0.25;
  costmap.origin_x = -1.0;
  costmap.origin_y = 0.5;
  setUp(twoLayers(), costmap);
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);

  auto map = node_->getLayeredSemanticmap();
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->global_frame, "map");
  EXPECT_FALSE(map->rolling_window);
  EXPECT_EQ(map->costmap, node_->getCostmap());
  EXPECT_EQ(map->semanticmap.grid->size_x, 12u);
  EXPECT_EQ(map->semanticmap.grid->size_y, 8u);
  EXPECT_EQ(map->semanticmap.resolution, 0.25);
  EXPECT_EQ(map->semanticmap.origin_x, -1.0);
  EXPECT_EQ(map->semanticmap.origin_y, 0.5);
  EXPECT_TRUE(server_test::allCellsEmpty(map->semanticmap));

  ASSERT_EQ(map->plugins.size(), 2u);
  EXPECT_EQ(map->plugins[0]->name, "first");
  EXPECT_EQ(map->plugins[1]->name, "second");
  EXPECT_NE(map->plugins[0].get(), map->plugins[1].get());
  // The enabled flag is what each layer's onInitialize set from its own parameter.
  EXPECT_TRUE(map->plugins[0]->isEnabled());
  EXPECT_FALSE(map->plugins[1]->isEnabled());
  for (auto & layer : map->plugins) {
    EXPECT_EQ(layer->layered_semanticmap, map.get());
    EXPECT_EQ(layer->tf, node_->getTfBuffer());
    EXPECT_EQ(layer->node.lock(), node_);
    EXPECT_NE(layer->clock, nullptr);
    EXPECT_NE(layer->callback_group, nullptr);
    EXPECT_EQ(layer->local_params.count("bounds"), 1u);
    EXPECT_TRUE(node_->has_parameter(layer->name + ".bounds"));
  }

  const auto calls = CallLog::instance().calls();
  EXPECT_EQ(operationsOf(calls, "onInitialize"), (std::vector<std::string>{"first", "second"}));
  for (const auto & call : CallLog::instance().calls("onInitialize")) {
    EXPECT_EQ(call.thread, std::this_thread::get_id()) << "configure runs on the caller's thread";
    EXPECT_FALSE(call.outer_locked) << call.layer;
    EXPECT_FALSE(call.grid_locked) << call.layer;
    EXPECT_TRUE(call.fields_filled) << call.layer;
  }
  // The list was empty while the grid was sized; nothing has run matchSize yet.
  EXPECT_EQ(countOf("matchSize"), 0u);
  EXPECT_EQ(countOf("updateBounds"), 0u);
  EXPECT_NE(node_->clear_service, nullptr);
  EXPECT_NE(node_->load_service, nullptr);
}

TEST_F(ServerLifecycleTest, ActivateHandsTheUpdateThreadOverAndCallsLayersUnderTheOuterMutex)
{
  setUp(twoLayers());
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);

  const auto activations = CallLog::instance().calls("activate");
  ASSERT_EQ(operationsOf(activations, "activate"), (std::vector<std::string>{"first", "second"}));
  for (const auto & call : activations) {
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    EXPECT_TRUE(call.outer_locked);
  }

  // The node's own thread sits in the base's slot and runs the cycles.
  ASSERT_TRUE(node_->map_update_thread_);
  const auto update_thread = node_->updateThreadId();
  EXPECT_NE(update_thread, std::this_thread::get_id());
  ASSERT_TRUE(waitFor([]() { return countOf("updateMaps") >= 6; }));
  EXPECT_TRUE(initializedFlag(*node_->getLayeredSemanticmap()));

  const auto calls = CallLog::instance().calls();
  std::set<std::thread::id> cycle_threads;
  std::vector<std::string> sequence;
  for (const auto & call : calls) {
    if (call.operation == "updateBounds" || call.operation == "updateMaps" ||
        call.operation == "matchSize") {
      cycle_threads.insert(call.thread);
      EXPECT_TRUE(call.outer_locked) << call.operation;
      EXPECT_FALSE(call.grid_locked) << call.operation;
      sequence.push_back(call.layer + "." + call.operation);
    }
  }
  EXPECT_EQ(cycle_threads, std::set<std::thread::id>{update_thread});
  // First cycle: the new-map flag set at construction re-sizes the grid, then bounds and maps.
  ASSERT_GE(sequence.size(), 6u);
  const std::vector<std::string> first_cycle{
      "first.matchSize",
      "second.matchSize",
      "first.updateBounds",
      "second.updateBounds",
      "first.updateMaps",
      "second.updateMaps"};
  EXPECT_EQ(std::vector<std::string>(sequence.begin(), sequence.begin() + 6), first_cycle);
  EXPECT_EQ(countOf("matchSize"), 2u);
  EXPECT_FALSE(node_->new_map_loaded.load());
  // "second" asks for the whole grid: every window covers it.
  for (const auto & call : CallLog::instance().calls("updateMaps")) {
    EXPECT_EQ(
        (std::vector<double>{call.a, call.b, call.c, call.d}), (std::vector<double>{0, 0, 40, 40}));
  }
}

TEST_F(ServerLifecycleTest, DeactivateJoinsTheThreadAndActivateStartsAnotherOne)
{
  ASSERT_NO_FATAL_FAILURE(activateTwoLayers());

  ASSERT_EQ(node_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_TRUE(node_->map_update_thread_);
  EXPECT_FALSE(node_->map_update_thread_->joinable());
  const auto deactivations = CallLog::instance().calls("deactivate");
  ASSERT_EQ(
      operationsOf(deactivations, "deactivate"), (std::vector<std::string>{"first", "second"}));
  for (const auto & call : deactivations) {
    EXPECT_TRUE(call.outer_locked);
  }
  // Joined: no cycle runs any more, so the count is final.
  const size_t cycles_before = countOf("updateBounds");
  auto map = node_->getLayeredSemanticmap();
  ASSERT_NE(map, nullptr);
  map->getSemanticmap();  // the outer mutex is free
  EXPECT_EQ(countOf("updateBounds"), cycles_before);
  // The layered map and the layers are kept while inactive.
  EXPECT_EQ(map->plugins.size(), 2u);
  EXPECT_EQ(countOf("destroy"), 0u);

  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_EQ(countOf("activate"), 4u);
  ASSERT_TRUE(node_->map_update_thread_->joinable());
  EXPECT_TRUE(waitFor([&]() { return countOf("updateBounds") >= cycles_before + 4; }));
}

TEST_F(ServerLifecycleTest, CleanupReleasesEverythingAndConfigureStartsFromNothing)
{
  ASSERT_NO_FATAL_FAILURE(activateTwoLayers());
  ASSERT_EQ(node_->deactivate().id(), State::PRIMARY_STATE_INACTIVE);
  std::weak_ptr<server_test::LayeredMap> first_map = node_->getLayeredSemanticmap();
  std::weak_ptr<server_test::LayerBase> first_layer = node_->getLayeredSemanticmap()->plugins[0];

  ASSERT_EQ(node_->cleanup().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node_->getLayeredSemanticmap(), nullptr);
  EXPECT_TRUE(first_map.expired());
  EXPECT_TRUE(first_layer.expired());
  EXPECT_EQ(node_->clear_service, nullptr);
  EXPECT_EQ(node_->load_service, nullptr);
  // Released from the back of the list to the front, under the outer mutex.
  const auto destroyed = CallLog::instance().calls("destroy");
  EXPECT_EQ(operationsOf(destroyed, "destroy"), (std::vector<std::string>{"second", "first"}));
  for (const auto & call : destroyed) {
    EXPECT_TRUE(call.outer_locked);
  }
  EXPECT_THROW(node_->resetMap(), std::system_error);

  CallLog::instance().clear();
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  auto map = node_->getLayeredSemanticmap();
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->plugins.size(), 2u);
  EXPECT_FALSE(map->initialized);
  EXPECT_EQ(
      operationsOf(CallLog::instance().calls(), "onInitialize"),
      (std::vector<std::string>{"first", "second"}));
  EXPECT_NE(node_->clear_service, nullptr);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  EXPECT_TRUE(waitFor([]() { return countOf("updateBounds") >= 2; }));
}

TEST_F(ServerLifecycleTest, DestructionWhileActiveStopsTheThreadBeforeReleasingLayers)
{
  ASSERT_NO_FATAL_FAILURE(activateTwoLayers());
  const auto update_thread = node_->updateThreadId();

  spinner_.reset();
  node_.reset();
  const auto calls = CallLog::instance().calls();
  // Nothing ran on the update thread after the first layer was destroyed.
  auto first_destroy = std::find_if(
      calls.begin(), calls.end(), [](const LayerCall & c) { return c.operation == "destroy"; });
  ASSERT_NE(first_destroy, calls.end());
  for (auto it = first_destroy; it != calls.end(); ++it) {
    EXPECT_NE(it->thread, update_thread) << it->layer << "." << it->operation;
  }
  EXPECT_EQ(operationsOf(calls, "destroy"), (std::vector<std::string>{"second", "first"}));
}

// Layer services run on the base's executor thread: a node destroyed while active, without a
// cleanup, lets a call in progress finish before it releases the layers.
TEST_F(ServerLifecycleTest, DestructionWhileServingLetsTheCallFinishBeforeReleasingLayers)
{
  using ClearEntireCostmap = nav2_msgs::srv::ClearEntireCostmap;
  const std::string service = "/" + name_ + "_serve";
  setUp({{"first", "semantic_map_test::RecordingLayer", {rclcpp::Parameter("service", service)}}});
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  auto client_node = std::make_shared<rclcpp::Node>(name_ + "_client");
  auto client = client_node->create_client<ClearEntireCostmap>(service);
  ASSERT_TRUE(client->wait_for_service(10s));

  CallLog::instance().closeGate();
  client->async_send_request(std::make_shared<ClearEntireCostmap::Request>());
  ASSERT_TRUE(waitFor([]() { return countOf("serve") == 1; }));
  spinner_.reset();
  std::thread destroyer([this]() { node_.reset(); });
  EXPECT_FALSE(waitFor([]() { return countOf("destroy") > 0; }, 300ms));
  CallLog::instance().openGate();
  destroyer.join();

  const auto calls = CallLog::instance().calls();
  auto index_of = [&calls](const std::string & op) {
    return std::find_if(
               calls.begin(), calls.end(), [&op](const LayerCall & c) { return c.operation == op; }) -
           calls.begin();
  };
  ASSERT_EQ(countOf("served"), 1u);
  ASSERT_EQ(countOf("destroy"), 1u);
  EXPECT_LT(index_of("served"), index_of("destroy"));
}

// A configure that fails part-way leaves the node as it was before it: what it built is gone,
// the services of its layers included, and the next configure starts clean.
TEST_F(ServerLifecycleTest, FailedConfigureReleasesWhatItBuiltAndTheNextOneSucceeds)
{
  const std::string service = "/" + name_ + "_serve";
  setUp({
      {"first", "semantic_map_test::RecordingLayer", {rclcpp::Parameter("service", service)}},
      {"second",
       "semantic_map_test::RecordingLayer",
       {rclcpp::Parameter("throw_in", std::string("onInitialize"))}},
  });
  EXPECT_EQ(node_->configure().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node_->getLayeredSemanticmap(), nullptr);
  EXPECT_EQ(node_->clear_service, nullptr);
  EXPECT_EQ(node_->load_service, nullptr);
  EXPECT_EQ(node_->getTfBuffer(), nullptr) << "the base is cleaned up too";
  EXPECT_EQ(
      operationsOf(CallLog::instance().calls(), "destroy"),
      (std::vector<std::string>{"second", "first"}));
  auto client_node = std::make_shared<rclcpp::Node>(name_ + "_client");
  auto client = client_node->create_client<nav2_msgs::srv::ClearEntireCostmap>(service);
  EXPECT_FALSE(client->service_is_ready());

  node_->set_parameter(rclcpp::Parameter("second.throw_in", std::string("")));
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  EXPECT_EQ(node_->getLayeredSemanticmap()->plugins.size(), 2u);
  EXPECT_TRUE(client->service_is_ready());
}

TEST_F(ServerLifecycleTest, EmptyPluginListRunsTheCycleWithoutInitialising)
{
  CostmapSpec costmap;
  costmap.rolling_window = true;
  setUp({}, costmap);
  ASSERT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
  ASSERT_EQ(node_->activate().id(), State::PRIMARY_STATE_ACTIVE);
  auto map = node_->getLayeredSemanticmap();
  ASSERT_TRUE(map->plugins.empty());
  // The rolling window centres the 40 x 40 grid on the robot at (0.5, 0.5): origin -1.5.
  ASSERT_TRUE(waitFor([&]() {
    double origin_x = 0.0;
    map->getSemanticmap([&](server_test::Grid * grid) {
      std::lock_guard<std::mutex> lock(grid->mutex);
      origin_x = grid->origin_x;
    });
    return std::abs(origin_x + 1.5) < 1e-9;
  }));
  EXPECT_FALSE(initializedFlag(*map));
}

// A lifecycle manager may configure both nodes of a process at the same moment; each try starts
// with the plug-in libraries unloaded, as the first configure of a process does.
TEST(ServerConcurrentConfigure, BothNodesConfiguredAtOnceComeUp)
{
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::vector<std::shared_ptr<ExposedServerNode>> nodes;
    for (const std::string which : {"global", "local"}) {
      nodes.push_back(std::make_shared<ExposedServerNode>(
          "semantic_at_once_" + which + std::to_string(attempt)));
      server_test::setUpNode(
          *nodes.back(), CostmapSpec(), {{"rec", "semantic_map_test::RecordingLayer", {}}}, true);
    }
    std::promise<void> go;
    const std::shared_future<void> started = go.get_future().share();
    std::vector<std::future<uint8_t>> reached;
    for (const auto & node : nodes) {
      reached.push_back(std::async(std::launch::async, [node, started]() {
        started.wait();
        return node->configure().id();
      }));
    }
    go.set_value();
    for (auto & state : reached) {
      EXPECT_EQ(state.get(), State::PRIMARY_STATE_INACTIVE) << "attempt " << attempt;
    }
    for (const auto & node : nodes) {
      server_test::windDown(node);
    }
  }
}

TEST(ServerOwnership, NodeNotOwnedBySharedPointerFailsConfigureWithError)
{
  test_util::ScopedCapture capture;
  auto node = std::make_unique<ExposedServerNode>("semantic_unowned");
  server_test::setUpNode(*node, CostmapSpec(), {});
  EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node->getLayeredSemanticmap(), nullptr);
  EXPECT_EQ(
      server_test::countRecords(
          capture.records(), spdlog::level::err, "must be owned by a std::shared_ptr"),
      1);
}

int countErrors(const std::vector<test_util::Record> & records, const std::string & text)
{
  return server_test::countRecords(records, spdlog::level::err, text);
}

TEST(ServerParameters, ResolutionThatIsNotAFinitePositiveNumberFailsConfigure)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  int index = 0;
  for (const double resolution : {0.0, -0.1, nan, inf}) {
    test_util::ScopedCapture capture;
    auto node =
        std::make_shared<ExposedServerNode>("semantic_resolution_" + std::to_string(index++));
    CostmapSpec costmap;
    costmap.resolution = resolution;
    server_test::setUpNode(*node, costmap, {{"rec", "semantic_map_test::RecordingLayer", {}}});
    EXPECT_EQ(node->configure().id(), State::PRIMARY_STATE_UNCONFIGURED) << resolution;
    EXPECT_EQ(node->getLayeredSemanticmap(), nullptr) << resolution;
    EXPECT_EQ(
        countErrors(
            capture.records(),
            "cannot be configured: \"resolution\" " + fmt::format("{}", resolution) +
                " is not a finite positive number"),
        1)
        << resolution;
  }
}

TEST(ServerParameters, UpdateFrequencyThatIsNotAFinitePositiveNumberMeansNoUpdateLoop)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case
  {
    double frequency;
    double used;  // the frequency the update loop is started with
    int errors;
  };
  int index = 0;
  for (const Case & c :
       {Case{-5.0, 0.0, 1}, Case{nan, 0.0, 1}, Case{inf, 0.0, 1}, Case{-inf, 0.0, 1},
        Case{0.0, 0.0, 0}, Case{20.0, 20.0, 0}}) {
    test_util::ScopedCapture capture;
    auto node =
        std::make_shared<ExposedServerNode>("semantic_frequency_" + std::to_string(index++));
    CostmapSpec costmap;
    costmap.update_frequency = c.frequency;
    server_test::setUpNode(*node, costmap, {});
    ASSERT_EQ(node->configure().id(), State::PRIMARY_STATE_INACTIVE) << c.frequency;
    EXPECT_EQ(node->map_update_frequency_, c.used) << c.frequency;
    EXPECT_EQ(
        countErrors(
            capture.records(),
            "\"update_frequency\" " + fmt::format("{}", c.frequency) +
                " is not a finite positive number, treated as 0: no map update loop"),
        c.errors)
        << c.frequency;
    node->cleanup();
  }
}

}  // namespace
