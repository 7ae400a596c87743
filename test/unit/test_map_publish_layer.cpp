// Map-publishing layers driven cycle by cycle on a layered map, with a lifecycle node for their
// parameters and publishers and a subscriber node spun by the test between cycles.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "agent/covered_area.hpp"
#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/covered_map_publish_layer.hpp"
#include "lorvent/obstacle_map_publish_layer.hpp"
#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "trasque_test_support.hpp"

namespace {

using semantic_map::CoveredMapPublishLayer;
using semantic_map::MapPublishBaseLayer;
using semantic_map::ObstacleMapPublishLayer;
using semantic_map::SemanticFlags;
using semantic_map::SemanticHeight;
using semantic_map::SemanticType;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;
using map_msgs::msg::OccupancyGridUpdate;
using nav_msgs::msg::OccupancyGrid;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

// Counts the cells it translates; every cell reads as 7.
class CountingLayer : public MapPublishBaseLayer
{
public:
  char translationTypeToChar(const SemanticType &, const SemanticHeight &, unsigned char) override
  {
    ++translated;
    return 7;
  }
  int translated{0};
};

struct Params
{
  double frequency{0.001};  // one slot per 1000 s: the tests open slots themselves
  bool always_full{false};
  bool enabled{true};
};

class MapPublishLayerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string id = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char & c : id) {
      if (!std::isalnum(static_cast<unsigned char>(c))) {
        c = '_';
      }
    }
    node_ = std::make_shared<rclcpp_lifecycle::LifecycleNode>("pub_" + id);
    sub_node_ = std::make_shared<rclcpp::Node>("sub_" + id);
    executor_.add_node(sub_node_);
    topic_ = "/map_" + id;
    map_ = std::make_shared<LayeredMapT>("odom", false, nullptr);
    map_->resizeMap(3, 2, 0.5, -1.0, -2.0);
  }

  void TearDown() override { executor_.remove_node(sub_node_); }

  template <typename LayerT>
  std::shared_ptr<LayerT> makeLayer(const Params & params = Params())
  {
    auto layer = std::make_shared<LayerT>();
    layer->layered_semanticmap = map_.get();
    layer->name = "published";
    layer->node = node_;
    layer->clock = node_->get_clock();
    node_->declare_parameter("published.topic_name", topic_);
    node_->declare_parameter("published.map_publish_frequency", params.frequency);
    node_->declare_parameter("published.always_send_full_map", params.always_full);
    node_->declare_parameter("published.enabled", params.enabled);
    bool enabled = false;
    layer->onInitialize(enabled);
    layer->enabled = enabled;
    layer->activate();
    return layer;
  }

  void subscribeGrid()
  {
    grid_sub_ = sub_node_->create_subscription<OccupancyGrid>(
        topic_,
        rclcpp::QoS(10).transient_local().reliable(),
        [this](OccupancyGrid::ConstSharedPtr msg) { grids_.push_back(*msg); });
  }

  void subscribeUpdates()
  {
    update_sub_ = sub_node_->create_subscription<OccupancyGridUpdate>(
        topic_ + "_updates",
        rclcpp::QoS(10).transient_local().reliable(),
        [this](OccupancyGridUpdate::ConstSharedPtr msg) { updates_.push_back(*msg); });
  }

  // One cycle of the layer with the cycle's cell window, as the update cycle calls it, and then
  // delivery of whatever it published.
  void cycle(
      MapPublishBaseLayer & layer,
      int min_i,
      int min_j,
      int max_i,
      int max_j,
      nav2_costmap_2d::Costmap2D * master = nullptr)
  {
    {
      std::lock_guard<std::mutex> lock(map_->mutex);
      layer.updateMaps(&map_->semanticmap, master, min_i, min_j, max_i, max_j);
    }
    executor_.spin_some();
  }

  // A cycle with an empty window (no layer changed anything), as the update cycle computes it.
  void idleCycle(MapPublishBaseLayer & layer, nav2_costmap_2d::Costmap2D * master = nullptr)
  {
    const int size_x = static_cast<int>(map_->semanticmap.grid->size_x);
    const int size_y = static_cast<int>(map_->semanticmap.grid->size_y);
    cycle(layer, size_x - 1, size_y - 1, 1, 1, master);
  }

  static void openSlot(MapPublishBaseLayer & layer)
  {
    layer.last_publish_time = rclcpp::Time(0, 0, RCL_ROS_TIME);
  }

  void setType(uint32_t x, uint32_t y, SemanticType type)
  {
    std::lock_guard<std::mutex> lock(map_->semanticmap.mutex);
    auto & store = *map_->semanticmap.grid;
    store.types[x + y * store.size_x] = type;
  }

  rclcpp_lifecycle::LifecycleNode::SharedPtr node_;
  rclcpp::Node::SharedPtr sub_node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::string topic_;
  std::shared_ptr<LayeredMapT> map_;
  rclcpp::Subscription<OccupancyGrid>::SharedPtr grid_sub_;
  rclcpp::Subscription<OccupancyGridUpdate>::SharedPtr update_sub_;
  std::vector<OccupancyGrid> grids_;
  std::vector<OccupancyGridUpdate> updates_;
};

// --- Translation ------------------------------------------------------------------------------

TEST(ObstacleTranslation, EmptyCellsTakeTheScaledMasterCost)
{
  ObstacleMapPublishLayer layer;
  const SemanticType empty = SemanticFlags::EMPTY;
  const SemanticHeight height;
  const std::vector<std::pair<unsigned char, int>> expected = {
      {0, 0}, {1, 1}, {4, 2}, {128, 50}, {252, 98}, {253, 99}, {254, 100}, {255, -1}};
  for (const auto & [cost, value] : expected) {
    EXPECT_EQ(static_cast<signed char>(layer.translationTypeToChar(empty, height, cost)), value)
        << "cost " << int(cost);
  }
  const auto & table = ObstacleMapPublishLayer::costTranslationTable();
  for (int cost = 1; cost <= 252; ++cost) {
    EXPECT_EQ(table[cost], 1 + (cost - 1) * 97 / 251) << "cost " << cost;
    EXPECT_GE(table[cost], table[cost - 1]);
  }
}

TEST(ObstacleTranslation, FlagsDecideInOrderAndIgnoreCostAndHeight)
{
  ObstacleMapPublishLayer layer;
  const SemanticHeight tall(3.0f);
  const auto value = [&layer, &tall](unsigned int type, unsigned char cost) {
    return static_cast<signed char>(layer.translationTypeToChar(SemanticType(type), tall, cost));
  };
  // A dynamic obstacle is 50 whatever else the cell holds.
  EXPECT_EQ(
      value(SemanticFlags::PERSON | SemanticFlags::STATIC | SemanticFlags::COVERED_AREA, 0), 50);
  EXPECT_EQ(value(SemanticFlags::DYNAMIC, 254), 50);
  // Any flag outside the non-obstacle set makes an obstacle, also next to covered area.
  EXPECT_EQ(value(SemanticFlags::STATIC, 0), 100);
  EXPECT_EQ(value(SemanticFlags::COVERED_AREA | SemanticFlags::CHAIR, 0), 100);
  EXPECT_EQ(value(SemanticFlags::FORBIDDEN, 255), 100);
  // Covered area alone or with other harmless flags.
  EXPECT_EQ(value(SemanticFlags::COVERED_AREA, 254), 20);
  EXPECT_EQ(value(SemanticFlags::COVERED_AREA | SemanticFlags::CARPET, 0), 20);
  // Other harmless flags.
  EXPECT_EQ(value(SemanticFlags::NARROW_CORRIDOR, 254), 10);
  EXPECT_EQ(value(SemanticFlags::CARPET | SemanticFlags::STUBBORN_STAIN, 255), 10);
}

class CoveredTranslation : public ::testing::Test
{
protected:
  void SetUp() override { saved_ = semantic_map::agent::CoveredArea::CoveredAreaGetter; }
  void TearDown() override { semantic_map::agent::CoveredArea::CoveredAreaGetter = saved_; }
  semantic_map::agent::CoveredArea::Getter saved_;
};

TEST_F(CoveredTranslation, MapsTheGetterRating)
{
  // The rating is the cost here, so every rating can be asked for.
  semantic_map::agent::CoveredArea::CoveredAreaGetter =
      [](const SemanticType &, const SemanticHeight &, unsigned char cost) -> uint8_t {
    return cost;
  };
  CoveredMapPublishLayer layer;
  const std::vector<std::pair<unsigned char, int>> expected = {
      {254, 100}, {253, 99}, {255, -1}, {0, 0}, {1, 0}, {100, 0}, {252, 0}};
  for (const auto & [rating, value] : expected) {
    EXPECT_EQ(
        static_cast<signed char>(
            layer.translationTypeToChar(SemanticType(), SemanticHeight(), rating)),
        value)
        << "rating " << int(rating);
  }
}

TEST_F(CoveredTranslation, PassesTypeHeightAndCostToTheGetter)
{
  unsigned int seen_type = 0;
  float seen_height = 0.0f;
  unsigned char seen_cost = 0;
  semantic_map::agent::CoveredArea::CoveredAreaGetter =
      [&](const SemanticType & type, const SemanticHeight & height, unsigned char cost) -> uint8_t {
    seen_type = type;
    seen_height = height;
    seen_cost = cost;
    return 254;
  };
  CoveredMapPublishLayer layer;
  EXPECT_EQ(layer.translationTypeToChar(SemanticType(64u | 2u), SemanticHeight(0.75f), 17), 100);
  EXPECT_EQ(seen_type, 66u);
  EXPECT_EQ(seen_height, 0.75f);
  EXPECT_EQ(seen_cost, 17);
}

TEST_F(CoveredTranslation, AnUnsetGetterGivesNoInformation)
{
  semantic_map::agent::CoveredArea::CoveredAreaGetter = nullptr;
  CoveredMapPublishLayer layer;
  EXPECT_EQ(layer.translationTypeToChar(SemanticType(64u), SemanticHeight(), 0), -1);
}

TEST(PublishPeriod, FollowsTheFrequencyAndRefusesWhatGivesNoPeriod)
{
  EXPECT_EQ(MapPublishBaseLayer::periodFromFrequency(1.0).nanoseconds(), 1000000000);
  EXPECT_EQ(MapPublishBaseLayer::periodFromFrequency(4.0).nanoseconds(), 250000000);
  for (double frequency :
       {0.0,
        -0.0,
        -1.0,
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::denorm_min()}) {
    EXPECT_EQ(MapPublishBaseLayer::periodFromFrequency(frequency).nanoseconds(), 0)
        << "frequency " << frequency;
  }
  // A positive frequency always gives a positive period, saturated when it is very long.
  EXPECT_EQ(
      MapPublishBaseLayer::periodFromFrequency(1e-12).nanoseconds(),
      rclcpp::Duration::max().nanoseconds());
}

// --- Publishing -------------------------------------------------------------------------------

TEST_F(MapPublishLayerTest, ConstructionAndInitialisation)
{
  ObstacleMapPublishLayer fresh;
  EXPECT_FALSE(fresh.enabled.load());
  EXPECT_FALSE(fresh.isCurrent());
  EXPECT_TRUE(fresh.send_full_map);
  EXPECT_FALSE(fresh.always_send_full_map);
  EXPECT_GT(fresh.window_min_i, fresh.window_max_i);
  EXPECT_GT(fresh.window_min_j, fresh.window_max_j);
  EXPECT_EQ(fresh.publish_period.nanoseconds(), 1000000000);

  auto layer = makeLayer<ObstacleMapPublishLayer>({4.0, true, true});
  EXPECT_TRUE(layer->enabled.load());
  EXPECT_TRUE(layer->isCurrent());
  EXPECT_EQ(layer->topic_name, topic_);
  EXPECT_EQ(layer->publish_period.nanoseconds(), 250000000);
  EXPECT_TRUE(layer->always_send_full_map);
  EXPECT_EQ(layer->grid_publisher->get_topic_name(), topic_);
  EXPECT_EQ(layer->update_publisher->get_topic_name(), topic_ + "_updates");
  EXPECT_FALSE(layer->isClearable());
  EXPECT_FALSE(layer->clearArea(-1, -1, 1, 1, false));

  double min_x = 1, min_y = 2, max_x = 3, max_y = 4;
  layer->updateBounds(0, 0, 0, &min_x, &min_y, &max_x, &max_y);
  EXPECT_EQ(std::vector<double>({min_x, min_y, max_x, max_y}), std::vector<double>({1, 2, 3, 4}));
}

TEST_F(MapPublishLayerTest, NothingBeforeTheLayeredMapIsInitialised)
{
  auto layer = makeLayer<CountingLayer>();
  subscribeGrid();
  subscribeUpdates();
  cycle(*layer, 0, 0, 3, 2);
  EXPECT_TRUE(grids_.empty());
  EXPECT_EQ(layer->translated, 0);
  // The slot was not taken: the first cycle after initialisation sends at once.
  map_->initialized = true;
  cycle(*layer, 0, 0, 1, 1);
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_TRUE(updates_.empty());
}

TEST_F(MapPublishLayerTest, FirstMessageIsTheFullGridThenWindowUpdates)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  setType(1, 0, SemanticFlags::STATIC);

  cycle(*layer, 1, 0, 2, 1);
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_TRUE(updates_.empty());
  const OccupancyGrid & grid = grids_[0];
  EXPECT_EQ(grid.header.frame_id, "odom");
  EXPECT_EQ(grid.info.width, 3u);
  EXPECT_EQ(grid.info.height, 2u);
  EXPECT_FLOAT_EQ(grid.info.resolution, 0.5f);
  EXPECT_DOUBLE_EQ(grid.info.origin.position.x, -1.0);
  EXPECT_DOUBLE_EQ(grid.info.origin.position.y, -2.0);
  EXPECT_DOUBLE_EQ(grid.info.origin.orientation.w, 1.0);
  EXPECT_EQ(grid.data, (std::vector<int8_t>{-1, 100, -1, -1, -1, -1}));  // no master: cost 255
  EXPECT_FALSE(layer->send_full_map);

  // The slot of the full grid reset the window; the next slot sends the new window only.
  setType(2, 1, SemanticFlags::PERSON);
  cycle(*layer, 2, 1, 3, 2);  // not due
  EXPECT_TRUE(updates_.empty());
  openSlot(*layer);
  idleCycle(*layer);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(grids_.size(), 1u);
  EXPECT_EQ(updates_[0].header.frame_id, "odom");
  EXPECT_EQ(updates_[0].x, 2);
  EXPECT_EQ(updates_[0].y, 1);
  EXPECT_EQ(updates_[0].width, 1u);
  EXPECT_EQ(updates_[0].height, 1u);
  EXPECT_EQ(updates_[0].data, (std::vector<int8_t>{50}));
}

TEST_F(MapPublishLayerTest, SkippedCyclesMergeIntoOneUpdate)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->resizeMap(6, 5, 0.5, 0.0, 0.0);
  map_->initialized = true;
  idleCycle(*layer);
  ASSERT_EQ(grids_.size(), 1u);

  cycle(*layer, 1, 1, 2, 2);
  cycle(*layer, 4, 3, 5, 4);
  idleCycle(*layer);
  EXPECT_TRUE(updates_.empty()) << "no slot was due";
  openSlot(*layer);
  cycle(*layer, 2, 0, 3, 1);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(updates_[0].x, 1);
  EXPECT_EQ(updates_[0].y, 0);
  EXPECT_EQ(updates_[0].width, 4u);
  EXPECT_EQ(updates_[0].height, 4u);
  EXPECT_EQ(updates_[0].data.size(), 16u);

  // The window started afresh after that slot.
  cycle(*layer, 5, 4, 6, 5);
  openSlot(*layer);
  idleCycle(*layer);
  ASSERT_EQ(updates_.size(), 2u);
  EXPECT_EQ(updates_[1].x, 5);
  EXPECT_EQ(updates_[1].y, 4);
  EXPECT_EQ(updates_[1].width, 1u);
  EXPECT_EQ(updates_[1].height, 1u);
  EXPECT_EQ(grids_.size(), 1u);
}

TEST_F(MapPublishLayerTest, AnEmptyWindowSendsNothingAndIsReset)
{
  auto layer = makeLayer<CountingLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  idleCycle(*layer);
  ASSERT_EQ(grids_.size(), 1u);
  layer->translated = 0;

  // Wide in x but empty in y, then empty in x: nothing to send.
  openSlot(*layer);
  cycle(*layer, 0, 1, 3, 1);
  openSlot(*layer);
  cycle(*layer, 2, 0, 2, 2);
  EXPECT_TRUE(updates_.empty());
  EXPECT_EQ(layer->translated, 0);
  EXPECT_EQ(layer->window_min_i, 3);
  EXPECT_EQ(layer->window_max_i, 0);
  EXPECT_EQ(layer->window_min_j, 2);
  EXPECT_EQ(layer->window_max_j, 0);
}

TEST_F(MapPublishLayerTest, AlwaysFullSendsNoUpdates)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>({0.001, true, true});
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  for (int i = 0; i < 3; ++i) {
    openSlot(*layer);
    cycle(*layer, 0, 0, 2, 2);
  }
  EXPECT_EQ(grids_.size(), 3u);
  EXPECT_TRUE(updates_.empty());
}

TEST_F(MapPublishLayerTest, NoSubscriberNoMessageAndAPendingFullGridStaysPending)
{
  auto layer = makeLayer<CountingLayer>();
  map_->initialized = true;
  idleCycle(*layer);
  EXPECT_EQ(layer->translated, 0);
  EXPECT_TRUE(layer->send_full_map);

  // Updates have a subscriber, the grid has none: the full grid is still owed, so no update.
  subscribeUpdates();
  openSlot(*layer);
  cycle(*layer, 0, 0, 3, 2);
  EXPECT_TRUE(updates_.empty());
  EXPECT_EQ(layer->translated, 0);
  EXPECT_TRUE(layer->send_full_map);

  subscribeGrid();
  openSlot(*layer);
  cycle(*layer, 0, 0, 1, 1);
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_EQ(grids_[0].data, std::vector<int8_t>(6, 7));
  EXPECT_TRUE(updates_.empty());
  EXPECT_FALSE(layer->send_full_map);

  // With the grid sent, an update subscriber gets updates; without one nothing is translated.
  layer->translated = 0;
  update_sub_.reset();
  openSlot(*layer);
  cycle(*layer, 0, 0, 3, 2);
  EXPECT_EQ(layer->translated, 0);
  subscribeUpdates();
  openSlot(*layer);
  cycle(*layer, 0, 0, 2, 1);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(layer->translated, 2) << "only the window is translated";
}

TEST_F(MapPublishLayerTest, AClockBehindTheLastSlotTakesASlotAtOnce)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  idleCycle(*layer);
  ASSERT_EQ(grids_.size(), 1u);

  cycle(*layer, 0, 0, 1, 1);
  EXPECT_TRUE(updates_.empty());
  // The last slot lies an hour ahead of the clock, as after the clock stepped back.
  layer->last_publish_time = node_->get_clock()->now() + rclcpp::Duration::from_seconds(3600.0);
  idleCycle(*layer);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_LT(layer->last_publish_time, node_->get_clock()->now() + rclcpp::Duration(1, 0));
}

TEST_F(MapPublishLayerTest, AResizeSendsAFullGridOfTheNewSize)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  idleCycle(*layer);
  ASSERT_EQ(grids_.size(), 1u);

  map_->resizeMap(4, 5, 0.25, 1.0, 2.0);  // calls matchSize of the layers it holds: none here
  layer->matchSize();
  EXPECT_TRUE(layer->send_full_map);
  openSlot(*layer);
  cycle(*layer, 0, 0, 1, 1);
  ASSERT_EQ(grids_.size(), 2u);
  EXPECT_TRUE(updates_.empty());
  EXPECT_EQ(grids_[1].info.width, 4u);
  EXPECT_EQ(grids_[1].info.height, 5u);
  EXPECT_FLOAT_EQ(grids_[1].info.resolution, 0.25f);
  EXPECT_DOUBLE_EQ(grids_[1].info.origin.position.x, 1.0);
  EXPECT_DOUBLE_EQ(grids_[1].info.origin.position.y, 2.0);
  EXPECT_EQ(grids_[1].data.size(), 20u);
}

TEST_F(MapPublishLayerTest, AMovedOriginSendsAFullGridInsteadOfAnUpdate)
{
  map_->rolling_window = true;
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  idleCycle(*layer);
  ASSERT_EQ(grids_.size(), 1u);

  // The window shifted by one cell, as the rolling window does when the robot moves.
  {
    std::lock_guard<std::mutex> lock(map_->semanticmap.mutex);
    map_->semanticmap.origin_x += 0.5;
  }
  setType(0, 0, SemanticFlags::STATIC);
  openSlot(*layer);
  cycle(*layer, 0, 0, 1, 1);
  ASSERT_EQ(grids_.size(), 2u);
  EXPECT_TRUE(updates_.empty()) << "an update carries no origin";
  EXPECT_DOUBLE_EQ(grids_[1].info.origin.position.x, -0.5);
  EXPECT_EQ(grids_[1].data[0], 100);

  // Same origin again: updates as usual.
  openSlot(*layer);
  cycle(*layer, 0, 0, 1, 1);
  EXPECT_EQ(grids_.size(), 2u);
  EXPECT_EQ(updates_.size(), 1u);

  // A move while nobody takes the grid keeps updates back until a full grid went out.
  grid_sub_.reset();
  {
    std::lock_guard<std::mutex> lock(map_->semanticmap.mutex);
    map_->semanticmap.origin_y -= 0.5;
  }
  openSlot(*layer);
  cycle(*layer, 0, 0, 3, 2);
  EXPECT_EQ(updates_.size(), 1u);
  subscribeGrid();
  executor_.spin_some();  // the transient-local grid of before
  const size_t before = grids_.size();
  openSlot(*layer);
  cycle(*layer, 0, 0, 3, 2);
  ASSERT_EQ(grids_.size(), before + 1);
  EXPECT_DOUBLE_EQ(grids_.back().info.origin.position.y, -2.5);
  EXPECT_EQ(updates_.size(), 1u);
}

TEST_F(MapPublishLayerTest, CellsGoRowByRowWithXFastestInBothMessages)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  // Master costs that translate to distinct values: (x, y) -> 0, 1, 2 / 50, 98, 100.
  nav2_costmap_2d::Costmap2D master(3, 2, 0.5, -1.0, -2.0);
  const unsigned char costs[2][3] = {{0, 1, 4}, {128, 252, 254}};
  for (unsigned int y = 0; y < 2; ++y) {
    for (unsigned int x = 0; x < 3; ++x) {
      master.setCost(x, y, costs[y][x]);
    }
  }
  idleCycle(*layer, &master);
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_EQ(grids_[0].data, (std::vector<int8_t>{0, 1, 2, 50, 98, 100}));

  openSlot(*layer);
  cycle(*layer, 1, 0, 3, 2, &master);
  ASSERT_EQ(updates_.size(), 1u);
  EXPECT_EQ(updates_[0].data, (std::vector<int8_t>{1, 2, 98, 100}));
}

TEST_F(MapPublishLayerTest, WithoutAMasterEmptyCellsAreUnknown)
{
  auto layer = makeLayer<ObstacleMapPublishLayer>();
  subscribeGrid();
  map_->initialized = true;
  setType(2, 0, SemanticFlags::COVERED_AREA);
  idleCycle(*layer, nullptr);
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_EQ(grids_[0].data, (std::vector<int8_t>{-1, -1, 20, -1, -1, -1}));
}

TEST_F(MapPublishLayerTest, CoveredMapUsesTheGetter)
{
  auto layer = makeLayer<CoveredMapPublishLayer>();
  subscribeGrid();
  map_->initialized = true;
  nav2_costmap_2d::Costmap2D master(3, 2, 0.5, -1.0, -2.0);
  master.setCost(1, 1, 255);
  setType(0, 0, SemanticFlags::COVERED_AREA);
  idleCycle(*layer, &master);
  ASSERT_EQ(grids_.size(), 1u);
  // The robot software's getter: covered 254 -> 100, unknown master 255 -> -1, else 0.
  EXPECT_EQ(grids_[0].data, (std::vector<int8_t>{100, 0, 0, 0, -1, 0}));
}

TEST_F(MapPublishLayerTest, ADisabledLayerNeitherPublishesNorCollects)
{
  auto layer = makeLayer<CountingLayer>({0.001, false, false});
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  EXPECT_FALSE(layer->enabled.load());
  cycle(*layer, 0, 0, 3, 2);
  EXPECT_TRUE(grids_.empty());
  EXPECT_GT(layer->window_min_i, layer->window_max_i);
  EXPECT_EQ(layer->translated, 0);
}

// --- Frequencies that give no period ------------------------------------------------------------

class NoPeriodTest : public MapPublishLayerTest, public ::testing::WithParamInterface<double>
{
};

TEST_P(NoPeriodTest, NeverPublishesAndLogsIgnoreEveryCycle)
{
  auto layer = makeLayer<CountingLayer>({GetParam(), false, true});
  subscribeGrid();
  subscribeUpdates();
  map_->initialized = true;
  EXPECT_EQ(layer->publish_period.nanoseconds(), 0);

  std::vector<trasque_test::LogRecord> records;
  {
    trasque_test::LogCapture capture;
    for (int i = 0; i < 3; ++i) {
      openSlot(*layer);
      cycle(*layer, 0, 0, 3, 2);
    }
    records = capture.records();
  }
  EXPECT_TRUE(grids_.empty());
  EXPECT_TRUE(updates_.empty());
  EXPECT_EQ(layer->translated, 0);
  int ignored = 0;
  for (const auto & record : records) {
    if (record.level == "DEBUG" && record.text == "MapPublishLayer::updateMaps ignore") {
      ++ignored;
    }
  }
  EXPECT_EQ(ignored, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies,
    NoPeriodTest,
    ::testing::Values(
        0.0,
        -1.0,
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::denorm_min()));

}  // namespace
