// Map-publishing layers loaded by class name into a running semantic map node, observed through
// real subscribers. A probe layer, put first in the node's layer list by the test, reports the
// bounds the test chooses, marks them as static obstacles and records the time of every cycle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "lorvent/map_publish_base_layer.hpp"
#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav2_msgs/srv/clear_costmap_around_robot.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "nav2_msgs/srv/load_map.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace {
// While not 0, no-throw arrays of this many bytes or more find no memory (a grid re-size that the
// machine cannot hold).
std::atomic<std::size_t> refused_array_bytes{0};
}  // namespace

void * operator new[](std::size_t bytes, const std::nothrow_t &) noexcept
{
  const std::size_t refused = refused_array_bytes.load();
  try {
    return refused != 0 && bytes >= refused ? nullptr : ::operator new[](bytes);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

namespace {

using namespace std::chrono_literals;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using NodeT = semantic_map::SemanticmapROS<GridT>;
using LayerPtr = std::shared_ptr<semantic_map::BrindlexLayer>;
using map_msgs::msg::OccupancyGridUpdate;
using nav_msgs::msg::OccupancyGrid;
using semantic_map::MapPublishBaseLayer;

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

// Every field is guarded by the layered map's outer mutex, which the node holds around each call
// and the test takes through forEachLayer().
class ProbeLayer : public semantic_map::BrindlexLayer
{
public:
  void reset() override {}
  bool isClearable() override { return false; }
  bool clearArea(double, double, double, double, bool) override { return false; }
  void updateBounds(
      double, double, double, double * min_x, double * min_y, double * max_x, double * max_y)
      override
  {
    if (!has_box) {
      return;
    }
    *min_x = std::min(*min_x, box[0]);
    *min_y = std::min(*min_y, box[1]);
    *max_x = std::max(*max_x, box[2]);
    *max_y = std::max(*max_y, box[3]);
  }
  void updateMaps(GridT * grid, nav2_costmap_2d::Costmap2D *, int, int, int, int) override
  {
    cycle_times.push_back(clock->now());
    if (!has_box) {
      return;
    }
    // Marks the cells whose centres lie in the box.
    std::lock_guard<std::mutex> lock(grid->mutex);
    auto & store = *grid->grid;
    for (uint32_t y = 0; y < store.size_y; ++y) {
      for (uint32_t x = 0; x < store.size_x; ++x) {
        const double wx = grid->origin_x + (x + 0.5) * grid->resolution;
        const double wy = grid->origin_y + (y + 0.5) * grid->resolution;
        if (wx > box[0] && wx < box[2] && wy > box[1] && wy < box[3]) {
          store.types[x + y * store.size_x] |= semantic_map::SemanticFlags::STATIC;
        }
      }
    }
    has_box = !one_shot;
  }

  bool has_box{false};
  bool one_shot{false};  // marks (and reports its box) in one cycle only
  double box[4]{};
  std::vector<rclcpp::Time> cycle_times;
};

struct Received
{
  std::mutex mutex;
  std::vector<OccupancyGrid> grids;
  std::vector<OccupancyGridUpdate> updates;
  std::vector<char> order;  // 'g' or 'u', in delivery order

  size_t gridCount()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return grids.size();
  }
  size_t updateCount()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return updates.size();
  }
};

struct NodeSetup
{
  bool rolling{false};
  double frequency{0.001};  // the tests open further slots themselves
  bool always_full{false};
  bool subscribe_grid{true};
  std::string map_dir{};   // when set, a static-mark layer on this directory comes first
  bool probe_last{false};  // the probe comes after the obstacle map
};

// A map consumer that applies full grids and updates, as a costmap subscriber does.
struct ConsumerMap
{
  double origin_x{0.0};
  double origin_y{0.0};
  uint32_t width{0};
  uint32_t height{0};
  std::vector<int8_t> data;

  void apply(const OccupancyGrid & grid)
  {
    origin_x = grid.info.origin.position.x;
    origin_y = grid.info.origin.position.y;
    width = grid.info.width;
    height = grid.info.height;
    data = grid.data;
  }

  void apply(const OccupancyGridUpdate & update)
  {
    for (uint32_t row = 0; row < update.height; ++row) {
      for (uint32_t col = 0; col < update.width; ++col) {
        const uint32_t x = update.x + col;
        const uint32_t y = update.y + row;
        if (x < width && y < height) {
          data[x + y * width] = update.data[col + row * update.width];
        }
      }
    }
  }
};

class MapPublishNodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    name_ =
        std::string("semantic_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name_.begin(), name_.end(), '/', '_');  // parameterised tests
    helper_ = std::make_shared<rclcpp::Node>(name_ + "_helper");
    broadcaster_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(helper_);
    topic_ = "/" + name_ + "/obstacle_map";
  }

  void TearDown() override
  {
    if (node_) {
      using lifecycle_msgs::msg::State;
      if (node_->get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
        node_->deactivate();
      }
      if (node_->get_current_state().id() == State::PRIMARY_STATE_INACTIVE) {
        node_->cleanup();
      }
    }
    stop(node_executor_, node_thread_);
    stop(helper_executor_, helper_thread_);
    grid_sub_.reset();
    update_sub_.reset();
    node_.reset();
  }

  static void stop(rclcpp::Executor::SharedPtr & executor, std::thread & thread)
  {
    if (thread.joinable()) {
      while (!executor->is_spinning()) {
        std::this_thread::sleep_for(1ms);
      }
      executor->cancel();
      thread.join();
    }
  }

  void moveRobot(double x, double y)
  {
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = "map";
    t.child_frame_id = "base_link";
    t.transform.translation.x = x;
    t.transform.translation.y = y;
    t.transform.rotation.w = 1.0;
    broadcaster_->sendTransform(t);
  }

  // A 2 m x 1 m costmap at 0.1 m (20 x 10 cells) whose test layer marks world (0.15, 0.15) lethal,
  // and the semantic layers: the probe, then an obstacle map on topic_.
  void startNode(const NodeSetup & setup)
  {
    moveRobot(1.0, 0.5);
    node_ = std::make_shared<NodeT>(name_);
    node_->set_parameter(rclcpp::Parameter("width", 2));
    node_->set_parameter(rclcpp::Parameter("height", 1));
    node_->set_parameter(rclcpp::Parameter("resolution", 0.1));
    node_->set_parameter(rclcpp::Parameter("update_frequency", 20.0));
    node_->set_parameter(rclcpp::Parameter("rolling_window", setup.rolling));
    node_->set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{"marks"}));
    node_->declare_parameter("marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
    node_->declare_parameter(
        "marks.mark_points",
        setup.rolling ? std::vector<double>{} : std::vector<double>{0.15, 0.15});
    if (setup.map_dir.empty()) {
      node_->set_parameter(
          rclcpp::Parameter("semanticmap_plugins", std::vector<std::string>{"obstacle_map"}));
    } else {
      node_->set_parameter(rclcpp::Parameter(
          "semanticmap_plugins", std::vector<std::string>{"zones", "obstacle_map"}));
      node_->declare_parameter("zones.plugin", "semantic_map::StaticMarkLayer");
      node_->declare_parameter("zones.map_path_str", setup.map_dir);
    }
    node_->declare_parameter("obstacle_map.plugin", "semantic_map::ObstacleMapPublishLayer");
    node_->declare_parameter("obstacle_map.topic_name", topic_);
    node_->declare_parameter("obstacle_map.map_publish_frequency", setup.frequency);
    node_->declare_parameter("obstacle_map.always_send_full_map", setup.always_full);

    if (setup.subscribe_grid) {
      subscribeGrid();
    }
    subscribeUpdates();
    helper_executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    helper_executor_->add_node(helper_);
    helper_thread_ = std::thread([this]() { helper_executor_->spin(); });

    node_executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    node_executor_->add_node(node_->get_node_base_interface());
    node_thread_ = std::thread([this]() { node_executor_->spin(); });

    ASSERT_EQ(node_->configure().id(), lifecycle_msgs::msg::State::PRIMARY_STATE_INACTIVE);
    probe_ = std::make_shared<ProbeLayer>();
    probe_->name = "probe";
    probe_->layered_semanticmap = node_->getLayeredSemanticmap().get();
    probe_->node = node_;
    probe_->clock = node_->get_clock();
    probe_->enabled = true;
    {
      auto map = node_->getLayeredSemanticmap();
      std::lock_guard<std::mutex> lock(map->mutex);
      map->plugins.insert(setup.probe_last ? map->plugins.end() : map->plugins.begin(), probe_);
    }
    ASSERT_EQ(node_->activate().id(), lifecycle_msgs::msg::State::PRIMARY_STATE_ACTIVE);
  }

  void subscribeGrid()
  {
    grid_sub_ = helper_->create_subscription<OccupancyGrid>(
        topic_,
        rclcpp::QoS(10).transient_local().reliable(),
        [this](OccupancyGrid::ConstSharedPtr msg) {
          std::lock_guard<std::mutex> lock(received_.mutex);
          received_.grids.push_back(*msg);
          received_.order.push_back('g');
        });
  }

  void subscribeUpdates()
  {
    update_sub_ = helper_->create_subscription<OccupancyGridUpdate>(
        topic_ + "_updates",
        rclcpp::QoS(10).transient_local().reliable(),
        [this](OccupancyGridUpdate::ConstSharedPtr msg) {
          std::lock_guard<std::mutex> lock(received_.mutex);
          received_.updates.push_back(*msg);
          received_.order.push_back('u');
        });
  }

  // Runs @p action on the probe and the publishing layer with the outer mutex held, between
  // cycles.
  template <typename Action>
  void withLayers(Action action)
  {
    node_->getLayeredSemanticmap()->forEachLayer([this, &action](LayerPtr & layer) {
      if (layer->name == "obstacle_map") {
        action(*probe_, static_cast<MapPublishBaseLayer &>(*layer));
      }
    });
  }

  size_t cycles()
  {
    size_t n = 0;
    withLayers([&n](ProbeLayer & probe, MapPublishBaseLayer &) { n = probe.cycle_times.size(); });
    return n;
  }

  // Waits until the node has run @p count more cycles.
  bool waitCycles(size_t count)
  {
    const size_t target = cycles() + count;
    return waitFor([this, target]() { return cycles() >= target; });
  }

  void setBox(bool has_box, double min_x = 0, double min_y = 0, double max_x = 0, double max_y = 0)
  {
    withLayers([&](ProbeLayer & probe, MapPublishBaseLayer &) {
      probe.has_box = has_box;
      probe.box[0] = min_x;
      probe.box[1] = min_y;
      probe.box[2] = max_x;
      probe.box[3] = max_y;
    });
  }

  void openSlot()
  {
    withLayers([](ProbeLayer &, MapPublishBaseLayer & layer) {
      layer.last_publish_time = rclcpp::Time(0, 0, RCL_ROS_TIME);
    });
  }

  // The map of a consumer that applied everything received, in order.
  ConsumerMap consumerMap()
  {
    ConsumerMap consumer;
    std::lock_guard<std::mutex> lock(received_.mutex);
    size_t g = 0, u = 0;
    for (char kind : received_.order) {
      if (kind == 'g') {
        consumer.apply(received_.grids[g++]);
      } else {
        consumer.apply(received_.updates[u++]);
      }
    }
    return consumer;
  }

  std::string name_;
  std::string topic_;
  rclcpp::Node::SharedPtr helper_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> broadcaster_;
  std::shared_ptr<NodeT> node_;
  std::shared_ptr<ProbeLayer> probe_;
  rclcpp::Executor::SharedPtr node_executor_;
  rclcpp::Executor::SharedPtr helper_executor_;
  std::thread node_thread_;
  std::thread helper_thread_;
  rclcpp::Subscription<OccupancyGrid>::SharedPtr grid_sub_;
  rclcpp::Subscription<OccupancyGridUpdate>::SharedPtr update_sub_;
  Received received_;
};

TEST_F(MapPublishNodeTest, TheFirstMessageIsAFullGridAfterTheFirstCycle)
{
  startNode({});
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  std::vector<rclcpp::Time> cycle_times;
  withLayers([&cycle_times](ProbeLayer & probe, MapPublishBaseLayer &) {
    cycle_times = probe.cycle_times;
  });
  std::lock_guard<std::mutex> lock(received_.mutex);
  EXPECT_EQ(received_.order.front(), 'g');
  const OccupancyGrid & grid = received_.grids.front();
  // Built after the probe's part of the second cycle at the earliest.
  ASSERT_GE(cycle_times.size(), 2u);
  EXPECT_GE(rclcpp::Time(grid.header.stamp).nanoseconds(), cycle_times[1].nanoseconds());

  EXPECT_EQ(grid.header.frame_id, "map");
  EXPECT_EQ(grid.info.width, 20u);
  EXPECT_EQ(grid.info.height, 10u);
  EXPECT_FLOAT_EQ(grid.info.resolution, 0.1f);
  EXPECT_NEAR(grid.info.origin.position.x, 0.0, 1e-9);
  EXPECT_NEAR(grid.info.origin.position.y, 0.0, 1e-9);
  ASSERT_EQ(grid.data.size(), 200u);
  // The master's lethal mark at cell (1, 1), free space elsewhere.
  EXPECT_EQ(grid.data[1 + 1 * 20], 100);
  EXPECT_EQ(std::count(grid.data.begin(), grid.data.end(), 100), 1);
  EXPECT_EQ(std::count(grid.data.begin(), grid.data.end(), 0), 199);
}

TEST_F(MapPublishNodeTest, CyclesBetweenSlotsMergeIntoOneUpdate)
{
  startNode({});
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  // Two boxes over several cycles each, while no slot is due.
  setBox(true, 0.2, 0.2, 0.4, 0.4);
  ASSERT_TRUE(waitCycles(3));
  setBox(true, 1.2, 0.5, 1.5, 0.8);
  ASSERT_TRUE(waitCycles(3));
  setBox(false);
  ASSERT_TRUE(waitCycles(2));
  openSlot();
  ASSERT_TRUE(waitFor([this]() { return received_.updateCount() >= 1; }));

  std::lock_guard<std::mutex> lock(received_.mutex);
  EXPECT_EQ(received_.grids.size(), 1u);
  const OccupancyGridUpdate & update = received_.updates.front();
  // The cell windows of both boxes as the update cycle computes them, merged.
  EXPECT_EQ(update.x, 2);
  EXPECT_EQ(update.y, 2);
  EXPECT_EQ(update.width, 14u);
  EXPECT_EQ(update.height, 7u);
  ASSERT_EQ(update.data.size(), 98u);
  // Both boxes are drawn: cell (3, 3) of the first, (13, 6) of the second.
  EXPECT_EQ(update.data[(3 - 2) + (3 - 2) * 14], 100);
  EXPECT_EQ(update.data[(13 - 2) + (6 - 2) * 14], 100);
}

TEST_F(MapPublishNodeTest, AlwaysFullSendsGridsOnly)
{
  startNode({false, 20.0, true});
  setBox(true, 0.2, 0.2, 0.4, 0.4);
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 4; }));
  EXPECT_EQ(received_.updateCount(), 0u);
}

TEST_F(MapPublishNodeTest, UpdatesWaitForTheFullGridToFindASubscriber)
{
  startNode({false, 20.0, false, false});
  setBox(true, 0.2, 0.2, 0.4, 0.4);
  ASSERT_TRUE(waitCycles(5));
  bool pending = false;
  withLayers(
      [&pending](ProbeLayer &, MapPublishBaseLayer & layer) { pending = layer.send_full_map; });
  EXPECT_TRUE(pending);
  EXPECT_EQ(received_.updateCount(), 0u);

  subscribeGrid();
  ASSERT_TRUE(
      waitFor([this]() { return received_.gridCount() >= 1 && received_.updateCount() >= 1; }));
  std::lock_guard<std::mutex> lock(received_.mutex);
  EXPECT_EQ(received_.order.front(), 'g');
  EXPECT_GE(
      rclcpp::Time(received_.updates.front().header.stamp).nanoseconds(),
      rclcpp::Time(received_.grids.front().header.stamp).nanoseconds());
}

TEST_F(MapPublishNodeTest, AClockBehindTheLastSlotPublishesAtOnce)
{
  startNode({});
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  setBox(true, 0.2, 0.2, 0.4, 0.4);
  withLayers([this](ProbeLayer &, MapPublishBaseLayer & layer) {
    layer.last_publish_time = node_->get_clock()->now() + rclcpp::Duration::from_seconds(3600.0);
  });
  // With a 1000 s period only the clock rule can bring this update.
  ASSERT_TRUE(waitFor([this]() { return received_.updateCount() >= 1; }));
  EXPECT_EQ(received_.gridCount(), 1u);
}

TEST_F(MapPublishNodeTest, ANewMapSendsAFullGridAgain)
{
  startNode({});
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  setBox(true, 0.2, 0.2, 0.4, 0.4);
  // The announcement and the open slot reach the same cycle: it re-sizes, then publishes.
  node_->getLayeredSemanticmap()->forEachLayer([this](LayerPtr & layer) {
    if (layer->name == "obstacle_map") {
      static_cast<MapPublishBaseLayer &>(*layer).last_publish_time =
          rclcpp::Time(0, 0, RCL_ROS_TIME);
      node_->LoadNewMap();
    }
  });
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 2; }));
  EXPECT_EQ(received_.updateCount(), 0u);
  std::lock_guard<std::mutex> lock(received_.mutex);
  EXPECT_EQ(received_.grids[1].info.width, 20u);
  EXPECT_EQ(received_.grids[1].data[3 + 3 * 20], 100);
}

TEST_F(MapPublishNodeTest, ARollingGridStaysInPlaceForAMapConsumer)
{
  startNode({true, 20.0, false, true});
  // A static obstacle at a fixed place in the world, inside the window before and after the move.
  setBox(true, 1.2, 0.3, 1.4, 0.6);
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  moveRobot(1.35, 0.5);

  // The consumer's map must come to show the obstacle where it is in the world, at the grid's
  // current origin.
  const auto consumerMatchesWorld = [this]() {
    const ConsumerMap consumer = consumerMap();
    if (consumer.width != 20 || std::abs(consumer.origin_x - 0.35) > 0.051) {
      return false;
    }
    for (uint32_t y = 0; y < consumer.height; ++y) {
      for (uint32_t x = 0; x < consumer.width; ++x) {
        const double wx = consumer.origin_x + (x + 0.5) * 0.1;
        const double wy = consumer.origin_y + (y + 0.5) * 0.1;
        const bool inside = wx > 1.2 && wx < 1.4 && wy > 0.3 && wy < 0.6;
        if ((consumer.data[x + y * consumer.width] == 100) != inside) {
          return false;
        }
      }
    }
    return true;
  };
  EXPECT_TRUE(waitFor(consumerMatchesWorld));
}

// After each case the consumer's map must equal the grid and the master costmap as the obstacle
// map translates them, in place and cell by cell. The steps leave a slot to open.
class ConsumerMapTest;
struct ConsumerCase
{
  const char * name;
  NodeSetup setup;
  void (ConsumerMapTest::*steps)();
};

class ConsumerMapTest : public MapPublishNodeTest,
                        public ::testing::WithParamInterface<ConsumerCase>
{
public:
  bool consumerMatchesGridAndMaster()
  {
    const ConsumerMap consumer = consumerMap();
    auto * master = node_->getLayeredCostmap()->getCostmap();
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> master_lock(*master->getMutex());
    bool same = false;
    withLayers([&](ProbeLayer &, MapPublishBaseLayer & layer) {
      auto & grid = node_->getLayeredSemanticmap()->semanticmap;
      std::lock_guard<std::mutex> lock(grid.mutex);
      const auto & store = *grid.grid;
      same = consumer.width == store.size_x && consumer.height == store.size_y &&
             master->getSizeInCellsX() == store.size_x &&
             master->getSizeInCellsY() == store.size_y &&
             std::abs(consumer.origin_x - grid.origin_x) < 1e-9 &&
             std::abs(consumer.origin_y - grid.origin_y) < 1e-9 &&
             master->getOriginX() == grid.origin_x && master->getOriginY() == grid.origin_y;
      for (size_t k = 0; same && k < consumer.data.size(); ++k) {
        same = consumer.data[k] == static_cast<int8_t>(layer.translationTypeToChar(
                                       store.types[k],
                                       semantic_map::SemanticHeight(store.heights[k]),
                                       master->getCharMap()[k]));
      }
    });
    return same;
  }

  // Marks the box (in one cycle only when @p once) in a cycle that publishes.
  void markAndSend(double min_x, double min_y, double max_x, double max_y, bool once = false)
  {
    withLayers([&](ProbeLayer & probe, MapPublishBaseLayer & layer) {
      const double box[4] = {min_x, min_y, max_x, max_y};
      std::copy(box, box + 4, probe.box);
      probe.has_box = true;
      probe.one_shot = once;
      layer.last_publish_time = rclcpp::Time(0, 0, RCL_ROS_TIME);
    });
    ASSERT_TRUE(waitCycles(1));
    setBox(false);
  }

  void windowThereAndBack()
  {
    const auto origin_x = [this]() {
      std::lock_guard<std::mutex> lock(node_->getLayeredSemanticmap()->mutex);
      return node_->getLayeredSemanticmap()->semanticmap.origin_x;
    };
    markAndSend(0.0, 0.3, 0.2, 0.6);  // columns 0 and 1
    moveRobot(1.1, 0.5);              // one cell on: column 0 drops out
    ASSERT_TRUE(waitFor([&]() { return std::abs(origin_x() - 0.1) < 1e-9; }));
    moveRobot(0.95, 0.5);  // and back within the publish period
    ASSERT_TRUE(waitFor([&]() { return origin_x() == 0.0; }));
  }

  void writerAfterThePublisher() { markAndSend(0.2, 0.2, 0.4, 0.4, true); }

  template <typename ServiceT>
  void call(const std::string & name, std::shared_ptr<typename ServiceT::Request> request)
  {
    auto client = helper_->create_client<ServiceT>("/" + name_ + "/" + name + name_);
    ASSERT_TRUE(client->wait_for_service(10s));
    ASSERT_EQ(client->async_send_request(request).wait_for(10s), std::future_status::ready);
  }

  void clearEntirely()
  {
    markAndSend(0.2, 0.2, 0.4, 0.4);
    call<nav2_msgs::srv::ClearEntireCostmap>(
        "brindlex_clear_entirely_",
        std::make_shared<nav2_msgs::srv::ClearEntireCostmap::Request>());
  }

  void clearTheMasterAlone()
  {
    // Clears the Navigation2 layer's lethal cell (1, 1); the grid holds nothing there.
    auto request = std::make_shared<nav2_msgs::srv::ClearCostmapAroundRobot::Request>();
    request->reset_distance = 10.0;
    call<nav2_msgs::srv::ClearCostmapAroundRobot>("brindlex_clear_around_", request);
    ASSERT_TRUE(waitCycles(2));  // one whole cycle after the clear takes it into the master
  }

  void moveTheOriginAlone()
  {
    // What a change of "origin_x" to 1.0 does to the master costmap.
    node_->getLayeredCostmap()->resizeMap(20, 10, 0.1, 1.0, 0.0);
  }

  void setTheSameWidthAgain()
  {
    clearTheMasterAlone();
    openSlot();  // the consumer learns that (1, 1) is free
    ASSERT_TRUE(waitFor([this]() { return received_.updateCount() >= 1; }));
    // Empties and re-sizes the master at its own geometry; the Navigation2 layer marks (1, 1) anew.
    ASSERT_TRUE(node_->set_parameter(rclcpp::Parameter("width", 2)).successful);
  }

  void gridFindsNoMemory()
  {
    // The master takes 1 m x 1 m of 0.05 m cells and then its own again, while the grid cannot
    // take those (1600 bytes an array) and keeps its cells: the master's mark moves to (3, 3).
    refused_array_bytes = 1000;
    node_->getLayeredCostmap()->resizeMap(20, 20, 0.05, 0.0, 0.0);
    openSlot();
    ASSERT_TRUE(waitCycles(2));
    node_->getLayeredCostmap()->resizeMap(20, 10, 0.1, 0.0, 0.0);
    refused_array_bytes = 0;
  }
};

TEST_P(ConsumerMapTest, ConsumerMapEqualsTheGridAndTheMaster)
{
  startNode(GetParam().setup);
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  (this->*GetParam().steps)();
  openSlot();
  EXPECT_TRUE(waitFor([this]() { return consumerMatchesGridAndMaster(); }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    ConsumerMapTest,
    ::testing::Values(
        ConsumerCase{"RollingWindowThereAndBack", {true}, &ConsumerMapTest::windowThereAndBack},
        ConsumerCase{
            "WriterAfterThePublisher",
            {false, 0.001, false, true, {}, true},
            &ConsumerMapTest::writerAfterThePublisher},
        ConsumerCase{"ClearEntirely", {}, &ConsumerMapTest::clearEntirely},
        ConsumerCase{"MasterChangesAlone", {}, &ConsumerMapTest::clearTheMasterAlone},
        ConsumerCase{"OriginChangesAlone", {}, &ConsumerMapTest::moveTheOriginAlone},
        ConsumerCase{"SameWidthAgain", {}, &ConsumerMapTest::setTheSameWidthAgain},
        ConsumerCase{"GridFindsNoMemory", {}, &ConsumerMapTest::gridFindsNoMemory}),
    [](const ::testing::TestParamInfo<ConsumerCase> & info) { return info.param.name; });

// Zones of a stored map directory, drawn by the static-mark layer and seen on the obstacle map
// as narrow corridors (10); a load request makes the node read the directory again.
class StaticMarkNodeTest : public MapPublishNodeTest
{
protected:
  void SetUp() override
  {
    MapPublishNodeTest::SetUp();
    dir_ = std::filesystem::temp_directory_path() /
           ("lorvent_" + std::to_string(::getpid()) + "_" + name_);
    std::filesystem::remove_all(dir_);
  }

  void TearDown() override
  {
    MapPublishNodeTest::TearDown();
    std::filesystem::remove_all(dir_);
  }

  // A 20 x 10 pixel map at 0.1 m from the world origin (pixel (x, y) is world (0.1 x, 1 - 0.1 y))
  // with one block over pixels x0 .. x1, rows 3 .. 6.
  void writeMap(const std::string & id, int x0, int x1)
  {
    std::filesystem::create_directories(dir_ / id);
    std::ofstream(dir_ / id / "map.yaml")
        << "image: map.pgm\nmode: trinary\nresolution: 0.1\norigin: [0.0, 0.0, 0.0]\nnegate: 0\n"
           "occupied_thresh: 0.65\nfree_thresh: 0.25\n";
    std::ofstream(dir_ / id / "map.pgm", std::ios::binary) << "P5\n20 10\n255\n"
                                                           << std::string(200, '\xfe');
    std::ofstream(dir_ / id / "editlayout.yaml")
        << "editlayout:\n  - id: gap\n    type: narrow corridor\n    desctype: block\n"
           "    rectangle:\n      - {x: "
        << x0 << ", y: 3}\n      - {x: " << x1
        << ", y: 3}\n"
           "      - {x: "
        << x1 << ", y: 6}\n      - {x: " << x0 << ", y: 6}\n";
    std::ofstream(dir_ / "history.map") << id << "\n";
  }

  // Whether cell (x, y) of the last full grid shows a narrow corridor.
  bool corridorAt(uint32_t x, uint32_t y)
  {
    std::lock_guard<std::mutex> lock(received_.mutex);
    return received_.grids.back().data[x + y * 20] == 10;
  }

  std::filesystem::path dir_;
};

TEST_F(StaticMarkNodeTest, ZonesAreDrawnAndReloadedOnALoadRequest)
{
  writeMap("west", 2, 6);
  NodeSetup setup;
  setup.frequency = 20.0;
  setup.map_dir = dir_.string();
  startNode(setup);
  ASSERT_TRUE(waitFor([this]() { return received_.gridCount() >= 1; }));
  // Block world x 0.2 .. 0.6, y 0.4 .. 0.7: cell (4, 5) inside, cell (15, 5) outside.
  EXPECT_TRUE(corridorAt(4, 5));
  EXPECT_FALSE(corridorAt(15, 5));

  writeMap("east", 13, 17);
  auto client = helper_->create_client<nav2_msgs::srv::LoadMap>("/" + name_ + "/brindlex_load_map");
  ASSERT_TRUE(client->wait_for_service(10s));
  auto response = client->async_send_request(std::make_shared<nav2_msgs::srv::LoadMap::Request>());
  ASSERT_EQ(response.wait_for(10s), std::future_status::ready);

  // The reload empties the grid and draws the new map's zone; a full grid follows the resize.
  EXPECT_TRUE(waitFor([this]() { return corridorAt(15, 5) && !corridorAt(4, 5); }));
}

}  // namespace
