// Depth-camera layer driven directly on a layered map: parameters and their defaults, the list
// splitter, the dynamic-parameter callback, the grid update from change units (injected through
// the layer's change channel) and the rate watch on a controlled clock.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/string_util.hpp"
#include "lorvent/velnor_layer.hpp"
#include "rcl/time.h"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "velnor_test_helpers.hpp"

namespace {

using semantic_map::VelnorLayer;
using velnor::MapChangeUnit;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;
using Overrides = std::vector<rclcpp::Parameter>;

constexpr float kUnknown = -std::numeric_limits<float>::infinity();

class VelnorLayerTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { rclcpp::init(0, nullptr); }
  static void TearDownTestSuite() { rclcpp::shutdown(); }

  void TearDown() override
  {
    layer.reset();
    node.reset();
  }

  // A layer "cam" on a fresh node with @p overrides, on a 10 x 10 grid of 0.1 m at (0, 0).
  void makeLayer(const Overrides & overrides = {}, bool rolling = false)
  {
    const std::string node_name =
        std::string("velnor_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
        node_name, rclcpp::NodeOptions().parameter_overrides(overrides));
    map = std::make_shared<LayeredMapT>("map", rolling, nullptr);
    map->resizeMap(10, 10, 0.1, 0.0, 0.0);
    layer = std::make_shared<VelnorLayer>();
    layer->layered_semanticmap = map.get();
    layer->name = "cam";
    layer->node = node;
    layer->clock = node->get_clock();
    layer->tf = std::make_shared<tf2_ros::Buffer>(node->get_clock());
  }

  bool initialize()
  {
    bool flag = false;
    layer->onInitialize(flag);
    layer->enabled = flag;
    return flag;
  }

  rclcpp::ParameterValue value(const std::string & name)
  {
    return node->get_parameter(name).get_parameter_value();
  }

  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::shared_ptr<LayeredMapT> map;
  std::shared_ptr<VelnorLayer> layer;
};

TEST(SplitStringTest, PiecesAsGetlineYieldsThem)
{
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"one.two.three", {"one", "two", "three"}},
      {"one..two", {"one", "", "two"}},
      {"one.", {"one"}},
      {".one", {"", "one"}},
      {"", {}},
      {"marking", {"marking"}},
      {".marking", {"", "marking"}},
  };
  for (const auto & [text, pieces] : cases) {
    EXPECT_EQ(util::splitString(text, '.'), pieces) << text;
  }
}

TEST_F(VelnorLayerTest, EveryParameterHasItsFullNameAndDefault)
{
  for (const bool rolling : {false, true}) {
    makeLayer({}, rolling);
    EXPECT_TRUE(initialize());
    EXPECT_TRUE(layer->current);
    const std::vector<std::pair<std::string, rclcpp::ParameterValue>> expected = {
        {"cam.enabled", rclcpp::ParameterValue(true)},
        {"cam.enable_frustum_trace", rclcpp::ParameterValue(false)},
        {"cam.transform_tolerance", rclcpp::ParameterValue(0.2)},
        {"cam.decay_time", rclcpp::ParameterValue(5.0)},
        {"cam.local_cache_distance", rclcpp::ParameterValue(3.0)},
        {"cam.occlusion_clearing", rclcpp::ParameterValue(true)},
        {"cam.clearing_min_point_cloud", rclcpp::ParameterValue(3)},
        {"cam.cache_resolution", rclcpp::ParameterValue(rolling ? 0.02 : 0.05)},
        {"cam.enable_near_blocked_protection", rclcpp::ParameterValue(true)},
        {"cam.number_points_considered_as_blocked", rclcpp::ParameterValue(5)},
        {"cam.frustum_list", rclcpp::ParameterValue(std::string())},
        // An empty frustum list still reads the default frustum.
        {"cam.default_frustum_conf.camera_info_topic", rclcpp::ParameterValue(std::string())},
        {"cam.default_frustum_conf.min_view_distance", rclcpp::ParameterValue(0.0)},
        {"cam.default_frustum_conf.max_view_distance", rclcpp::ParameterValue(8.0)},
        {"cam.default_frustum_conf.theta_resolution", rclcpp::ParameterValue(0.0881)},
        {"cam.default_frustum_conf.r_resolution", rclcpp::ParameterValue(0.05)},
        {"cam.default_frustum_conf.strategy.no_reference_point", rclcpp::ParameterValue(3)},
        {"cam.default_frustum_conf.strategy.out_of_theta", rclcpp::ParameterValue(4)},
        {"cam.default_frustum_conf.strategy.near_range_without_point", rclcpp::ParameterValue(3)},
        {"cam.default_frustum_conf.strategy.near_range_with_point", rclcpp::ParameterValue(3)},
        {"cam.default_frustum_conf.strategy.far_range_without_point", rclcpp::ParameterValue(4)},
        {"cam.default_frustum_conf.strategy.far_range_with_point", rclcpp::ParameterValue(4)},
        {"cam.default_frustum_conf.strategy.inside_without_point", rclcpp::ParameterValue(3)},
        {"cam.default_frustum_conf.strategy.inside_with_point", rclcpp::ParameterValue(3)},
        {"cam.observation_list", rclcpp::ParameterValue(std::string())},
    };
    for (const auto & [name, default_value] : expected) {
      ASSERT_TRUE(node->has_parameter(name)) << name;
      EXPECT_EQ(value(name), default_value) << name;
      EXPECT_EQ(layer->local_params.count(name.substr(4)), 1u) << name;
    }
    EXPECT_EQ(layer->local_params.size(), expected.size());
    EXPECT_TRUE(layer->parameter_callback_handle);
    TearDown();
  }

  // A configured resolution is taken as it is on either kind of map.
  for (const bool rolling : {false, true}) {
    makeLayer({{"cam.cache_resolution", 0.1}}, rolling);
    initialize();
    EXPECT_EQ(value("cam.cache_resolution"), rclcpp::ParameterValue(0.1));
    TearDown();
  }
}

TEST_F(VelnorLayerTest, FrustumsTakeTheirValuesFromTheDefaultFrustum)
{
  makeLayer({
      {"cam.frustum_list", " \tfront   left\n\nback\t "},
      {"cam.default_frustum_conf.max_view_distance", 5.0},
      {"cam.default_frustum_conf.strategy.out_of_theta", 1},
      {"cam.left.max_view_distance", 6.0},
      {"cam.left.camera_info_topic", "/left/camera_info"},
  });
  initialize();
  struct Case
  {
    std::string frustum;
    double max_view_distance;
    int64_t out_of_theta;
    std::string topic;
  };
  for (const auto & c : std::vector<Case>{
           {"front", 5.0, 1, ""}, {"left", 6.0, 1, "/left/camera_info"}, {"back", 5.0, 1, ""}}) {
    EXPECT_EQ(value("cam." + c.frustum + ".max_view_distance").get<double>(), c.max_view_distance)
        << c.frustum;
    EXPECT_EQ(value("cam." + c.frustum + ".strategy.out_of_theta").get<int64_t>(), c.out_of_theta)
        << c.frustum;
    EXPECT_EQ(value("cam." + c.frustum + ".camera_info_topic").get<std::string>(), c.topic);
    // Values the default frustum does not configure are the built-in ones.
    EXPECT_EQ(value("cam." + c.frustum + ".r_resolution").get<double>(), 0.05);
  }
  // Only the three words became frustums.
  EXPECT_EQ(layer->local_params.count("front.min_view_distance"), 1u);
  EXPECT_FALSE(node->has_parameter("cam..min_view_distance"));
}

TEST_F(VelnorLayerTest, ObservationSourcesAreNamedByLayerAndWord)
{
  makeLayer({
      {"cam.observation_list", "\n  front\t left "},
      {"cam.front.msg_type", "SemanticPointCloud"},
      {"cam.front.check_hz", 5},
      {"cam.front.marking", true},
      {"cam.left.msg_type", "SemanticPointCloud"},
      {"cam.left.max_obstacle_height", 1.5},
  });
  initialize();
  for (const std::string source : {"front", "left"}) {
    EXPECT_EQ(layer->freq_check_metas.count("cam." + source), 1u) << source;
    for (const std::string field :
         {"topic_name",
          "msg_type",
          "frustum_name",
          "sensor_frame",
          "marking",
          "check_hz",
          "observation_keep_time",
          "expected_update_rate",
          "min_obstacle_height",
          "max_obstacle_height"}) {
      EXPECT_TRUE(node->has_parameter("cam." + source + "." + field)) << source << field;
    }
  }
  EXPECT_EQ(value("cam.left.min_obstacle_height").get<double>(), -0.5);
  EXPECT_EQ(value("cam.left.max_obstacle_height").get<double>(), 1.5);
  EXPECT_EQ(value("cam.left.check_hz").get<int64_t>(), 0);
  // Only the marking source with a rate check is reported, unmeasured yet.
  std::unordered_map<std::string, double> rates;
  layer->camera_cache->checkAllMarkingObsHZ(rates);
  EXPECT_EQ(rates, (std::unordered_map<std::string, double>{{"cam.front", -1.0}}));
}

TEST_F(VelnorLayerTest, ConfigurationErrorsFailTheInitialisation)
{
  // A source without msg_type: the sources before it stay, no callback, no closing record.
  makeLayer({{"cam.observation_list", "good bad"}, {"cam.good.msg_type", "SemanticPointCloud"}});
  auto & log = velnor_test::LogCapture::instance();
  log.clear();
  try {
    initialize();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error & error) {
    EXPECT_STREQ(error.what(), "Unknown message type: ");
  }
  EXPECT_EQ(layer->freq_check_metas.count("cam.good"), 1u);
  EXPECT_EQ(layer->freq_check_metas.count("cam.bad"), 0u);
  EXPECT_FALSE(layer->parameter_callback_handle);
  EXPECT_EQ(log.count(spdlog::level::info, "cam initialization complete!"), 0u);
  TearDown();

  // A cache resolution that is not a finite positive length never reaches the cache.
  for (const double resolution :
       {0.0,
        -0.05,
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity()}) {
    makeLayer({{"cam.cache_resolution", resolution}});
    log.clear();
    EXPECT_THROW(initialize(), std::invalid_argument) << resolution;
    EXPECT_FALSE(layer->camera_cache) << resolution;
    EXPECT_EQ(
        log.countContaining(
            spdlog::level::err,
            "parameter cam.cache_resolution must be a finite positive number of metres, got " +
                fmt::format("{}", resolution)),
        1u)
        << resolution;
    TearDown();
  }

  // Bad values are named at configure: refused (ERROR) where a camera could never mark or a
  // comparison has no meaning, taken with a WARN where the layer still works.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::tuple<Overrides, bool, std::string>> bad_values = {
      {{{"cam.frustum_list", "front"}},
       false,
       "cam.front.camera_info_topic is \"\": frustum front"},
      {{{"cam.decay_time", -1.0}}, false, "cam.decay_time is -1: a decay time of 0 or less"},
      {{{"cam.decay_time", nan}}, true, "cam.decay_time must be a number of seconds, got nan"},
      {{{"cam.front.observation_keep_time", -0.5}},
       true,
       "cam.front.observation_keep_time must be a finite number of seconds, 0 or more, got -0.5"},
      {{{"cam.front.min_obstacle_height", 0.3}, {"cam.front.max_obstacle_height", 0.1}},
       true,
       "cam.front.max_obstacle_height must be at least cam.front.min_obstacle_height (0.3), got "
       "0.1"},
      {{{"cam.front.min_obstacle_height", nan}},
       true,
       "cam.front.max_obstacle_height must be at least cam.front.min_obstacle_height (nan), got 2"},
  };
  for (const auto & [bad, refused, record] : bad_values) {
    Overrides overrides = {
        {"cam.observation_list", "front"}, {"cam.front.msg_type", "SemanticPointCloud"}};
    overrides.insert(overrides.end(), bad.begin(), bad.end());
    makeLayer(overrides);
    log.clear();
    if (refused) {
      EXPECT_THROW(initialize(), std::invalid_argument) << record;
    } else {
      EXPECT_NO_THROW(initialize()) << record;
    }
    const auto level = refused ? spdlog::level::err : spdlog::level::warn;
    EXPECT_EQ(log.countContaining(level, "cam: parameter " + record), 1u) << record;
    // A refused source never reaches the cache nor the rate watch.
    EXPECT_EQ(layer->freq_check_metas.count("cam.front"), refused ? 0u : 1u) << record;
    TearDown();
  }

  // A node that is gone.
  makeLayer();
  node.reset();
  bool flag = true;
  EXPECT_THROW(layer->onInitialize(flag), std::runtime_error);
}

TEST_F(VelnorLayerTest, ParameterCallbackChangesEnabledAndMarking)
{
  makeLayer({
      {"cam.observation_list", "front"},
      {"cam.front.msg_type", "SemanticPointCloud"},
      {"cam.front.check_hz", 5},
      {"cam.front.marking", true},
  });
  initialize();
  auto reported = [this]() {
    std::unordered_map<std::string, double> rates;
    layer->camera_cache->checkAllMarkingObsHZ(rates);
    return rates.count("cam.front") == 1;
  };
  struct Case
  {
    const char * what;
    std::vector<rclcpp::Parameter> parameters;
    bool enabled;
    bool marking;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, true, true},
      {"marking off", {{"cam.front.marking", false}}, true, false},
      {"marking of one part is ignored", {{"marking", true}}, true, false},
      {"empty source name matches nothing", {{".marking", true}}, true, false},
      {"marking of another source", {{"other.front.marking", true}}, true, false},
      {"marking of wrong type", {{"cam.front.marking", 1}}, true, false},
      {"marking on", {{"cam.front.marking", true}}, true, true},
      {"disabled", {{"cam.enabled", false}}, false, true},
      {"enabled of another layer", {{"other.enabled", true}}, false, true},
      {"enabled of wrong type", {{"cam.enabled", 1.0}}, false, true},
      {"both in one call", {{"cam.enabled", true}, {"cam.front.marking", false}}, true, false},
      {"decay time of both types", {{"cam.decay_time", 1.0}, {"cam.decay_time", 2}}, true, false},
  };
  for (const auto & c : cases) {
    const auto result = layer->velnorObstacleLayerDynamicParametersCallback(c.parameters);
    EXPECT_TRUE(result.successful) << c.what;
    EXPECT_EQ(result.reason, "") << c.what;
    EXPECT_EQ(layer->enabled.load(), c.enabled) << c.what;
    EXPECT_EQ(reported(), c.marking) << c.what;
  }

  // Through the node: the registered callback sees the change.
  node->set_parameter(rclcpp::Parameter("cam.enabled", false));
  EXPECT_FALSE(layer->enabled.load());

  // A NaN decay time refuses its whole list; a negative one is taken with a WARN.
  auto & log = velnor_test::LogCapture::instance();
  const auto refused = layer->velnorObstacleLayerDynamicParametersCallback(
      {{"cam.enabled", true}, {"cam.decay_time", std::numeric_limits<double>::quiet_NaN()}});
  EXPECT_FALSE(refused.successful);
  EXPECT_EQ(refused.reason, "parameter cam.decay_time must be a number of seconds, got nan");
  EXPECT_FALSE(layer->enabled.load());
  log.clear();
  EXPECT_TRUE(
      layer->velnorObstacleLayerDynamicParametersCallback({{"cam.decay_time", -2.0}}).successful);
  EXPECT_EQ(log.countContaining(spdlog::level::warn, "parameter cam.decay_time is -2: "), 1u);

  // A layer without a cache warns and still accepts.
  auto bare = std::make_shared<VelnorLayer>();
  bare->name = "cam";
  log.clear();
  EXPECT_TRUE(bare->velnorObstacleLayerDynamicParametersCallback(
                      {{"cam.decay_time", 1.0}, {"cam.front.marking", true}})
                  .successful);
  EXPECT_EQ(log.count(spdlog::level::warn, "frustum_observation_engine not created yet"), 2u);
}

// Change units handed to the layer through its change channel, as another subscriber would see
// them: the injector appends them to the shared list.
class ChangeInjector
{
public:
  explicit ChangeInjector(const std::string & channel_name) : channel_name(channel_name)
  {
    std::lock_guard<std::mutex> lock(velnor::ChangeEvent::mutex());
    (*velnor::ChangeEvent::getChannel(channel_name))["injector"] =
        [this](velnor::MapChangeList list) {
          list->insert(list->end(), units.begin(), units.end());
          units.clear();
        };
  }
  ~ChangeInjector()
  {
    std::lock_guard<std::mutex> lock(velnor::ChangeEvent::mutex());
    velnor::ChangeEvent::getChannel(channel_name)->erase("injector");
  }

  std::vector<MapChangeUnit> units;

private:
  std::string channel_name;
};

MapChangeUnit unit(
    int32_t operate, const std::vector<std::array<float, 3>> & points, unsigned int flags)
{
  MapChangeUnit result;
  result.points.resize(3, static_cast<Eigen::Index>(points.size()));
  result.types.assign(points.size(), flags);
  for (std::size_t i = 0; i < points.size(); ++i) {
    result.points.col(static_cast<Eigen::Index>(i)) << points[i][0], points[i][1], points[i][2];
  }
  result.updateEdge();
  result.operate = static_cast<MapChangeUnit::Operate>(operate);
  return result;
}

TEST_F(VelnorLayerTest, ChangeUnitsWidenTheBoundsAndWriteTheGrid)
{
  makeLayer();
  initialize();
  ChangeInjector injector("cam");
  auto & grid = map->semanticmap;
  const double lowest = std::numeric_limits<double>::lowest();
  const double largest = std::numeric_limits<double>::max();

  struct Cell
  {
    int x;
    int y;
    unsigned int flags;
    float height;
  };
  struct Case
  {
    const char * what;
    std::vector<Cell> before;
    std::vector<MapChangeUnit> units;
    std::vector<Cell> after;
  };
  const unsigned int S = 1, C = 2, P = 8;
  const std::vector<Case> cases = {
      {"point at the origin: cell 0", {}, {unit(2, {{0.0f, 0.0f, 0.3f}}, P)}, {{0, 0, P, 0.3f}}},
      {"points on and beyond the far edges are outside",
       {},
       {unit(
           2,
           {{1.0f, 0.5f, 1.0f}, {0.5f, 1.0f, 1.0f}, {-1e-6f, 0.5f, 1.0f}, {0.5f, -1e-6f, 1.f}},
           S)},
       {}},
      {"last cell", {}, {unit(2, {{0.999f, 0.999f, 0.2f}}, C)}, {{9, 9, C, 0.2f}}},
      {"clear below the height keeps it",
       {{2, 2, S | C, 0.5f}},
       {unit(1, {{0.25f, 0.25f, 0.4f}}, S)},
       {{2, 2, C, 0.5f}}},
      {"clear at the height drops it",
       {{2, 2, S | C, 0.5f}},
       {unit(1, {{0.25f, 0.25f, 0.5f}}, S)},
       {{2, 2, C, kUnknown}}},
      {"mark below the height replaces it",
       {{3, 3, C, 0.9f}},
       {unit(2, {{0.35f, 0.35f, 0.1f}}, S)},
       {{3, 3, S | C, 0.1f}}},
      {"two marks: both flags, later height",
       {},
       {unit(2, {{0.45f, 0.45f, 0.7f}}, C), unit(2, {{0.45f, 0.45f, 0.6f}}, P)},
       {{4, 4, C | P, 0.6f}}},
      {"mark then clear of the same flags",
       {},
       {unit(2, {{0.55f, 0.55f, 0.7f}}, P), unit(1, {{0.55f, 0.55f, 0.7f}}, P)},
       {{5, 5, 0, kUnknown}}},
      {"other operations change no cell",
       {},
       {unit(0, {{0.65f, 0.65f, 0.7f}}, P), unit(3, {{0.75f, 0.75f, 0.7f}}, P)},
       {}},
  };
  for (const auto & c : cases) {
    {
      std::lock_guard<std::mutex> lock(grid.mutex);
      grid.grid->resetMap();
      for (const auto & cell : c.before) {
        grid.grid->types[cell.x + cell.y * 10] = cell.flags;
        grid.grid->heights[cell.x + cell.y * 10] = cell.height;
      }
    }
    injector.units = c.units;
    double bounds[4] = {largest, largest, lowest, lowest};
    {
      std::lock_guard<std::mutex> lock(map->mutex);
      layer->updateBounds(0.5, 0.5, 0.0, &bounds[0], &bounds[1], &bounds[2], &bounds[3]);
      // Every unit widens the bounds, whatever its operation.
      double expected[4] = {largest, largest, lowest, lowest};
      for (const auto & u : c.units) {
        expected[0] = std::min<double>(expected[0], u.min_x);
        expected[1] = std::min<double>(expected[1], u.min_y);
        expected[2] = std::max<double>(expected[2], u.max_x);
        expected[3] = std::max<double>(expected[3], u.max_y);
      }
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bounds[i], expected[i]) << c.what << " bound " << i;
      }
      // The window given is not a limit.
      layer->updateMaps(&grid, nullptr, 0, 0, 1, 1);
      EXPECT_FALSE(layer->change_units) << c.what;
    }
    std::lock_guard<std::mutex> lock(grid.mutex);
    for (int i = 0; i < 100; ++i) {
      unsigned int flags = 0;
      float height = kUnknown;
      for (const auto & cell : c.after) {
        if (cell.x + cell.y * 10 == i) {
          flags = cell.flags;
          height = cell.height;
        }
      }
      EXPECT_EQ(static_cast<unsigned int>(grid.grid->types[i]), flags) << c.what << " cell " << i;
      EXPECT_EQ(grid.grid->heights[i], height) << c.what << " cell " << i;
    }
  }

  // Disabled: bounds, list and grid stay as they are.
  layer->enabled = false;
  injector.units = {unit(2, {{0.05f, 0.05f, 0.3f}}, P)};
  double bounds[4] = {1.0, 2.0, 3.0, 4.0};
  {
    std::lock_guard<std::mutex> lock(map->mutex);
    {
      std::lock_guard<std::mutex> grid_lock(grid.mutex);
      grid.grid->resetMap();
    }
    layer->updateBounds(0.0, 0.0, 0.0, &bounds[0], &bounds[1], &bounds[2], &bounds[3]);
    layer->updateMaps(&grid, nullptr, 0, 0, 10, 10);
  }
  EXPECT_EQ(std::vector<double>(bounds, bounds + 4), (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
  EXPECT_FALSE(layer->change_units);
  EXPECT_EQ(injector.units.size(), 1u);
  std::lock_guard<std::mutex> lock(grid.mutex);
  EXPECT_EQ(grid.grid->types[0], 0u);
}

// The rate watch on the node's ROS clock, set by hand.
class RateWatchTest : public VelnorLayerTest
{
protected:
  void SetUp() override
  {
    makeLayer();
    rcl_enable_ros_time_override(node->get_clock()->get_clock_handle());
    setTime(1000.0);
    initialize();
    layer->initHZNoticeTime("cam.a");
    layer->initHZNoticeTime("cam.b");
  }

  void setTime(double seconds)
  {
    rcl_set_ros_time_override(
        node->get_clock()->get_clock_handle(), static_cast<int64_t>(seconds * 1e9));
  }

  // Runs the watch at each time with the report given, on a cleared log.
  void run(const std::vector<std::pair<double, std::unordered_map<std::string, double>>> & steps)
  {
    velnor_test::LogCapture::instance().clear();
    for (const auto & [time, rates] : steps) {
      setTime(time);
      layer->noticeRates(rates);
    }
  }

  size_t count(spdlog::level::level_enum level, const std::string & text)
  {
    return velnor_test::LogCapture::instance().countContaining(level, text);
  }
};

TEST_F(RateWatchTest, SlowEpisodesAreReportedOnceAndClosed)
{
  using Report = std::unordered_map<std::string, double>;
  const Report slow_a{{"cam.a", 4.0}};
  const Report none;
  // last_pub_time is 1000 s (the registrations): no ERROR before 1120 s.

  // Slow for 2 s, then not: nothing.
  run({{1001.0, slow_a}, {1003.0, slow_a}, {1003.5, none}});
  EXPECT_EQ(count(spdlog::level::warn, "camera data slow"), 0u);
  EXPECT_EQ(layer->freq_check_metas.at("cam.a").start_time.nanoseconds(), 0);

  // Not measured: the record does not change.
  run({{1004.0, {{"cam.a", -1.0}}}});
  EXPECT_EQ(layer->freq_check_metas.at("cam.a").start_time.nanoseconds(), 0);
  EXPECT_TRUE(std::isinf(layer->freq_check_metas.at("cam.a").min_hz));

  // Slow for 5 s with its lowest rate 2.5 Hz: one WARN beyond 3 s, one closing WARN.
  run({{1010.0, slow_a}, {1012.0, {{"cam.a", 2.5}}}, {1013.5, slow_a}});
  EXPECT_EQ(
      count(spdlog::level::warn, "costmap[/.cam.a] has unexpected hz(2.500) for 3.50 sec."), 1u);
  EXPECT_TRUE(layer->freq_check_metas.at("cam.a").noticed);
  run({{1015.0, slow_a}, {1015.5, none}});
  EXPECT_EQ(
      count(spdlog::level::warn, "costmap[/.cam.a] has unexpected hz(2.500) for 5.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::warn, "camera data slow"), 1u);
  const auto & closed = layer->freq_check_metas.at("cam.a");
  EXPECT_EQ(closed.start_time.nanoseconds(), 0);
  EXPECT_EQ(closed.last_time.nanoseconds(), 0);
  EXPECT_EQ(closed.start_time.get_clock_type(), RCL_ROS_TIME);
  EXPECT_FALSE(closed.noticed);
  EXPECT_TRUE(std::isinf(closed.min_hz));

  // Exactly 120 s after last_pub_time is not more than 120 s: WARNs only.
  run({{1116.0, slow_a}, {1120.0, slow_a}, {1121.0, none}});
  EXPECT_EQ(count(spdlog::level::err, "camera data slow"), 0u);
  EXPECT_EQ(count(spdlog::level::warn, "has unexpected hz(4.000) for 4.00 sec."), 2u);

  // More than 120 s after last_pub_time: the ERROR, then a closing WARN. Two sources slow in the
  // same cycle: the first visited logs the ERROR, the other a WARN.
  run(
      {{1200.0, {{"cam.a", 1.0}, {"cam.b", 1.0}}},
       {1204.0, {{"cam.a", 1.0}, {"cam.b", 1.0}}},
       {1205.0, none}});
  EXPECT_EQ(count(spdlog::level::err, "ErrorCode: 101100030, camera data slow, costmap[/."), 1u);
  EXPECT_EQ(count(spdlog::level::err, "has unexpected hz(1.000) for 4.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::warn, "has unexpected hz(1.000) for 4.00 sec."), 3u);
  {
    std::lock_guard<std::mutex> lock(VelnorLayer::FreqCheckMeta::lastPubTimeMutex());
    EXPECT_EQ(VelnorLayer::FreqCheckMeta::last_pub_time.seconds(), 1204.0);
  }

  // Within a noticed episode, the ERROR comes again once 120 s have passed since the last one;
  // the episode still closes with a WARN.
  run({{1300.0, slow_a}, {1304.0, slow_a}, {1320.0, slow_a}, {1330.0, slow_a}, {1331.0, none}});
  EXPECT_EQ(count(spdlog::level::warn, "has unexpected hz(4.000) for 4.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::err, "has unexpected hz(4.000) for 30.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::warn, "has unexpected hz(4.000) for 30.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::warn, "camera data slow"), 2u);

  // Registering again keeps the record but moves last_pub_time.
  run({{1400.0, slow_a}});
  const auto before = layer->freq_check_metas.at("cam.a").start_time;
  setTime(1401.0);
  layer->initHZNoticeTime("cam.a");
  EXPECT_EQ(layer->freq_check_metas.at("cam.a").start_time, before);
  std::lock_guard<std::mutex> lock(VelnorLayer::FreqCheckMeta::lastPubTimeMutex());
  EXPECT_EQ(VelnorLayer::FreqCheckMeta::last_pub_time.seconds(), 1401.0);
}

// Layers of two nodes share last_pub_time: an ERROR of one holds back the ERROR of the other for
// 120 s.
TEST_F(RateWatchTest, LayersOfBothNodesShareTheErrorInterval)
{
  auto other_node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("velnor_other_node");
  rcl_enable_ros_time_override(other_node->get_clock()->get_clock_handle());
  auto other = std::make_shared<VelnorLayer>();
  other->name = "cam";
  other->node = other_node;
  auto set_both = [&](double seconds) {
    setTime(seconds);
    rcl_set_ros_time_override(
        other_node->get_clock()->get_clock_handle(), static_cast<int64_t>(seconds * 1e9));
  };
  set_both(1000.0);
  other->initHZNoticeTime("cam.c");  // last_pub_time: 1000 s, for both layers

  const std::unordered_map<std::string, double> slow_a{{"cam.a", 1.0}};
  const std::unordered_map<std::string, double> slow_c{{"cam.c", 1.0}};
  auto & log = velnor_test::LogCapture::instance();
  log.clear();
  struct Step
  {
    double time;
    VelnorLayer * layer;
    const std::unordered_map<std::string, double> * rates;
  };
  // This node's source is slow from 1200 s, the other's from 1210 s.
  for (const Step & step : std::vector<Step>{
           {1200.0, layer.get(), &slow_a},
           {1204.0, layer.get(), &slow_a},  // ERROR (204 s since 1000 s)
           {1210.0, other.get(), &slow_c},
           {1214.0, other.get(), &slow_c},     // WARN: 10 s after that ERROR
           {1330.0, other.get(), &slow_c}}) {  // ERROR: 126 s after it
    set_both(step.time);
    step.layer->noticeRates(*step.rates);
  }
  EXPECT_EQ(
      count(spdlog::level::err, "costmap[/.cam.a] has unexpected hz(1.000) for 4.00 sec."), 1u);
  EXPECT_EQ(
      count(spdlog::level::warn, "costmap[/.cam.c] has unexpected hz(1.000) for 4.00 sec."), 1u);
  EXPECT_EQ(
      count(spdlog::level::err, "costmap[/.cam.c] has unexpected hz(1.000) for 120.00 sec."), 1u);
  EXPECT_EQ(count(spdlog::level::err, "camera data slow"), 2u);
}

}  // namespace
