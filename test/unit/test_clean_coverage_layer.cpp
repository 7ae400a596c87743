// Clean-coverage layer on a layered map, driven cycle by cycle: parameters, path tracing, the two
// straightenings, the raster against plain geometry, window-only marking and bounds. The services
// are tested through clients on a running node (test_clean_coverage_node).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/clean_coverage_layer.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "trasque_test_support.hpp"

namespace {

using semantic_map::CleanCoverageLayer;
using semantic_map::SemanticFlags;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;
using CostmapLock = std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t>;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr unsigned int kCovered = 64;

struct GridSpec
{
  uint32_t size_x{80};
  uint32_t size_y{80};
  double resolution{0.05};
  double origin_x{0.0};
  double origin_y{0.0};
};

class CleanCoverageLayerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const std::string id = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string clean_id;
    for (char c : id) {
      clean_id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    node_ = std::make_shared<rclcpp_lifecycle::LifecycleNode>("clean_" + clean_id);
    prefix_ = "/clean_" + clean_id;
    map_ = std::make_shared<LayeredMapT>("map", false, nullptr);
  }

  // A layer named "coverage" on a grid of @p grid, with @p parameters (local names) set first and
  // services under names of this test; tracing is switched on unless @p trace is false.
  std::shared_ptr<CleanCoverageLayer> makeLayer(
      const std::vector<rclcpp::Parameter> & parameters = {},
      const GridSpec & grid = GridSpec(),
      bool trace = true)
  {
    map_->resizeMap(grid.size_x, grid.size_y, grid.resolution, grid.origin_x, grid.origin_y);
    node_->declare_parameter("coverage.trigger_srv_name", prefix_ + "_trigger");
    node_->declare_parameter("coverage.get_covered_points_srv_name", prefix_ + "_points");
    for (const auto & parameter : parameters) {
      node_->declare_parameter("coverage." + parameter.get_name(), parameter.get_parameter_value());
    }
    auto layer = std::make_shared<CleanCoverageLayer>();
    layer->layered_semanticmap = map_.get();
    layer->name = "coverage";
    layer->node = node_;
    layer->clock = node_->get_clock();
    bool flag = false;
    layer->onInitialize(flag);
    layer->enabled = flag;
    {
      std::lock_guard<std::mutex> lock(map_->mutex);
      map_->plugins.push_back(layer);  // so that the map's re-size reaches matchSize
    }
    if (trace) {
      trigger(*layer, true);
    }
    return layer;
  }

  static std::shared_ptr<CleanCoverageLayer::TriggerCleanCoverage::Response> trigger(
      CleanCoverageLayer & layer, bool enable, int overlap = 0)
  {
    auto request = std::make_shared<CleanCoverageLayer::TriggerCleanCoverage::Request>();
    request->enable = enable;
    request->path_overlap_distance = overlap;
    auto response = std::make_shared<CleanCoverageLayer::TriggerCleanCoverage::Response>();
    layer.triggerCallBack(request, response);
    return response;
  }

  // One update cycle as the layered map runs it, over @p window (cells [x0, y0, xn, yn)) or the
  // whole grid; returns the bounds the layer reported.
  std::vector<double> cycle(
      CleanCoverageLayer & layer,
      double x,
      double y,
      double yaw = 0.0,
      std::vector<int> window = {},
      bool with_grid = true)
  {
    std::vector<double> bounds = {kLargest, kLargest, kLowest, kLowest};
    std::lock_guard<std::mutex> lock(map_->mutex);
    layer.updateBounds(x, y, yaw, &bounds[0], &bounds[1], &bounds[2], &bounds[3]);
    if (window.empty()) {
      window = {
          0,
          0,
          static_cast<int>(map_->semanticmap.grid->size_x),
          static_cast<int>(map_->semanticmap.grid->size_y)};
    }
    layer.updateMaps(
        with_grid ? &map_->semanticmap : nullptr,
        nullptr,
        window[0],
        window[1],
        window[2],
        window[3]);
    return bounds;
  }

  static std::vector<cv::Point> pathOf(CleanCoverageLayer & layer)
  {
    CostmapLock lock(*layer.getMutex());
    return layer.clean_path;
  }

  unsigned int typeAt(uint32_t x, uint32_t y)
  {
    auto & grid = map_->semanticmap;
    std::lock_guard<std::mutex> lock(grid.mutex);
    return grid.grid->types[x + y * grid.grid->size_x];
  }

  void setType(uint32_t x, uint32_t y, unsigned int word)
  {
    auto & grid = map_->semanticmap;
    std::lock_guard<std::mutex> lock(grid.mutex);
    grid.grid->types[x + y * grid.grid->size_x] = word;
  }

  size_t coveredCount()
  {
    auto & grid = map_->semanticmap;
    std::lock_guard<std::mutex> lock(grid.mutex);
    size_t n = 0;
    for (uint32_t i = 0; i < grid.grid->cellCount(); ++i) {
      n += (grid.grid->types[i].value & kCovered) != 0u ? 1 : 0;
    }
    return n;
  }

  // World centre of cell (x, y) of a 0.05 m grid at the origin.
  static double centre(int cell) { return (cell + 0.5) * 0.05; }

  rclcpp_lifecycle::LifecycleNode::SharedPtr node_;
  std::string prefix_;
  std::shared_ptr<LayeredMapT> map_;
};

TEST_F(CleanCoverageLayerTest, DeclaresItsParametersAndFollowsTheGrid)
{
  std::vector<trasque_test::LogRecord> records;
  std::shared_ptr<CleanCoverageLayer> layer;
  {
    trasque_test::LogCapture capture;
    layer = makeLayer({}, GridSpec{40, 30, 0.1, -1.0, -2.0}, false);
    records = capture.records();
  }
  const std::vector<trasque_test::LogRecord> expected = {
      {"INFO", "coverage being initialized as CleanCoverageLayer"},
      {"INFO", "coverage initialization complete!"}};
  EXPECT_EQ(records, expected);

  EXPECT_TRUE(node_->get_parameter("coverage.enabled").as_bool());
  EXPECT_EQ(node_->get_parameter("coverage.coverage_width").as_double(), 0.5);
  EXPECT_EQ(node_->get_parameter("coverage.coverage_length").as_double(), 0.42);
  EXPECT_EQ(node_->get_parameter("coverage.local_optimize_length").as_double(), 5.0);
  EXPECT_EQ(node_->get_parameter("coverage.global_optimize_length").as_double(), 50.0);
  EXPECT_EQ(node_->get_parameter("coverage.local_optimize_epsilon").as_double(), 3.0);
  EXPECT_EQ(node_->get_parameter("coverage.global_optimize_epsilon").as_double(), 3.0);
  EXPECT_EQ(node_->get_parameter("coverage.clean_path_to_robot_offset").as_double(), 0.2);
  EXPECT_EQ(node_->get_parameter("coverage.distance_threshold").as_double(), 0.2);
  EXPECT_EQ(layer->local_params.size(), 11u);

  EXPECT_TRUE(layer->isEnabled());
  EXPECT_FALSE(layer->active.load());
  EXPECT_FALSE(layer->isCurrent());
  EXPECT_FALSE(layer->isClearable());
  EXPECT_FALSE(layer->clearArea(0, 0, 1, 1, false));
  EXPECT_EQ(layer->coverage_width, 0.5);
  EXPECT_EQ(layer->coverage_length, 0.42);
  EXPECT_EQ(layer->distance_threshold, 0.2);
  EXPECT_EQ(layer->bounds_margin, 3.0);
  EXPECT_EQ(layer->trigger_srv_name, prefix_ + "_trigger");
  ASSERT_NE(layer->trigger_service, nullptr);
  ASSERT_NE(layer->covered_points_service, nullptr);
  EXPECT_STREQ(layer->trigger_service->get_service_name(), (prefix_ + "_trigger").c_str());
  EXPECT_STREQ(layer->covered_points_service->get_service_name(), (prefix_ + "_points").c_str());

  // The layer's costmap has the grid's geometry, now and after every matchSize.
  const auto geometry = [&layer]() {
    return std::make_tuple(
        layer->getSizeInCellsX(), layer->getSizeInCellsY(), layer->getResolution(),
        layer->getOriginX(), layer->getOriginY());
  };
  EXPECT_EQ(geometry(), std::make_tuple(40u, 30u, 0.1, -1.0, -2.0));
  map_->resizeMap(25, 15, 0.05, 2.0, 3.0);  // calls every layer's matchSize
  EXPECT_EQ(geometry(), std::make_tuple(25u, 15u, 0.05, 2.0, 3.0));
}

TEST_F(CleanCoverageLayerTest, ALostNodeFailsInitialisation)
{
  auto layer = std::make_shared<CleanCoverageLayer>();
  layer->name = "coverage";
  bool flag = true;
  try {
    layer->onInitialize(flag);
    FAIL() << "no exception";
  } catch (const std::runtime_error & error) {
    EXPECT_STREQ(error.what(), "Failed to lock node");
  }

  // A NaN distance threshold is named and refused.
  trasque_test::LogCapture capture;
  EXPECT_THROW(makeLayer({{"distance_threshold", std::nan("")}}), std::invalid_argument);
  const auto records = capture.records();
  const trasque_test::LogRecord refused{
      "ERROR",
      "coverage: parameter coverage.distance_threshold must be a number of metres, got nan"};
  EXPECT_EQ(std::count(records.begin(), records.end(), refused), 1);
}

// The line is as thick as the width in whole cells, and never thinner than one cell: widths that
// would give OpenCV a thickness below 1 draw one cell and are reported once at initialisation.
TEST_F(CleanCoverageLayerTest, LineThicknessFollowsTheCoverageWidth)
{
  struct Case
  {
    double width;
    int thickness;
    bool warns;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {0.5, 10, false},
      {0.07, 1, false},
      {0.03, 1, false},
      {0.0, 1, true},
      {-0.3, 1, true},
      {nan, 1, true},
      {inf, 1, true},
      {-inf, 1, true},
      {1e12, 32767, false},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE("coverage_width " + std::to_string(c.width));
    SetUp();  // a fresh node and map per case
    std::vector<trasque_test::LogRecord> records;
    std::shared_ptr<CleanCoverageLayer> layer;
    {
      trasque_test::LogCapture capture;
      layer = makeLayer({{"coverage_width", c.width}}, GridSpec{60, 40});
      records = capture.records();
    }
    const auto warnings = std::count_if(
        records.begin(), records.end(), [](const auto & r) { return r.level == "WARN"; });
    EXPECT_EQ(warnings, c.warns ? 1 : 0);
    if (c.warns) {
      const std::string expected = fmt::format(
          "CleanCoverageLayer coverage: coverage_width {} is not a positive width, the cleaned "
          "path is drawn one cell wide",
          c.width);
      EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const auto & r) {
        return r.level == "WARN" && r.text == expected;
      }));
    }
    {
      CostmapLock lock(*layer->getMutex());
      EXPECT_EQ(layer->lineThickness(), c.thickness);
    }
    if (c.thickness > 100) {
      continue;  // the band would cover the whole grid
    }
    // A straight run along row 20: the band across column 30 is the line's thickness.
    for (int x = 10; x <= 50; x += 2) {
      ASSERT_NO_THROW(cycle(*layer, centre(x) + 0.2, centre(20)));
    }
    int band = 0;
    for (uint32_t y = 0; y < 40; ++y) {
      band += (typeAt(30, y) & kCovered) != 0u ? 1 : 0;
    }
    EXPECT_GE(band, c.thickness);
    EXPECT_LE(band, c.thickness + 1);
    EXPECT_TRUE(layer->isCurrent());
  }
}

// Which cell a cycle appends: the cell "clean_path_to_robot_offset" behind the robot along its
// heading, unless it repeats one of the last three points or lies outside the layer's costmap.
TEST_F(CleanCoverageLayerTest, TracesTheCellBehindTheRobot)
{
  struct Pose
  {
    double x, y, yaw;
  };
  struct Case
  {
    const char * what;
    double offset;
    std::vector<Pose> poses;
    std::vector<cv::Point> path;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto at = [](int x, int y) { return Pose{centre(x), centre(y), 0.0}; };
  const std::vector<Case> cases = {
      {"standing still", 0.0, {at(5, 5), at(5, 5), at(5, 5), at(5, 5)}, {{5, 5}}},
      {"back and forth", 0.0, {at(5, 5), at(6, 5), at(5, 5), at(6, 5), at(5, 5)}, {{5, 5}, {6, 5}}},
      {"repeats the point before the last",
       0.0,
       {at(1, 1), at(2, 1), at(3, 1), at(2, 1), at(1, 1)},
       {{1, 1}, {2, 1}, {3, 1}}},
      {"repeats the fourth-last point",
       0.0,
       {at(1, 1), at(2, 1), at(3, 1), at(4, 1), at(1, 1)},
       {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {1, 1}}},
      {"offset 0.2 along +x", 0.2, {{centre(20), centre(10), 0.0}}, {{16, 10}}},
      {"offset 0.2 along +y", 0.2, {{centre(20), centre(10), M_PI / 2}}, {{20, 6}}},
      {"offset 0.2 along -x", 0.2, {{centre(20), centre(10), M_PI}}, {{24, 10}}},
      {"robot outside", 0.0, {{-1.0, 1.0, 0.0}, {1.0, 50.0, 0.0}, {4.0, 1.0, 0.0}}, {}},
      {"offset point outside", 0.2, {{centre(1), centre(1), 0.0}}, {}},
      {"non-finite pose", 0.0, {{nan, 1.0, 0.0}, {1.0, 1e300, 0.0}}, {}},
      {"NaN offset", nan, {{centre(1), centre(1), 0.0}}, {}},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    auto layer = makeLayer({{"clean_path_to_robot_offset", c.offset}}, GridSpec{40, 40});
    for (const auto & pose : c.poses) {
      cycle(*layer, pose.x, pose.y, pose.yaw);
    }
    EXPECT_EQ(pathOf(*layer), c.path);
    // Until the fifth point nothing is drawn and the grid is left alone.
    if (c.path.size() <= 4) {
      EXPECT_EQ(coveredCount(), 0u);
      EXPECT_FALSE(layer->isCurrent());
    }
  }
}

// The fifth path point starts the marking; four points leave the grid untouched.
TEST_F(CleanCoverageLayerTest, TheFifthPointStartsTheMarking)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{40, 40});
  setType(30, 30, kCovered | SemanticFlags::CARPET);  // off the path
  for (int x = 10; x < 14; ++x) {
    cycle(*layer, centre(x), centre(10));
  }
  EXPECT_EQ(pathOf(*layer).size(), 4u);
  EXPECT_EQ(typeAt(30, 30), kCovered | SemanticFlags::CARPET);
  EXPECT_EQ(typeAt(11, 10), 0u);
  EXPECT_FALSE(layer->isCurrent());

  cycle(*layer, centre(14), centre(10));
  EXPECT_EQ(pathOf(*layer).size(), 5u);
  EXPECT_EQ(typeAt(30, 30), SemanticFlags::CARPET) << "off the line: the flag goes, others stay";
  for (int x = 10; x <= 14; ++x) {
    EXPECT_EQ(typeAt(x, 10), kCovered) << x;
  }
  EXPECT_TRUE(layer->isCurrent());
}

// Inside the window the line sets COVERED_AREA and everything else loses it; outside the window
// no cell changes.
TEST_F(CleanCoverageLayerTest, RewritesOnlyTheWindow)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{40, 40});
  const std::vector<int> window = {10, 5, 30, 15};
  // On the line outside the window, off the line inside and outside it.
  setType(5, 10, SemanticFlags::STATIC);
  setType(20, 12, kCovered | SemanticFlags::STATIC);
  setType(35, 30, kCovered);
  for (int x = 2; x <= 38; x += 4) {
    cycle(*layer, centre(x), centre(10), 0.0, window);
  }
  for (uint32_t y = 0; y < 40; ++y) {
    for (uint32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 10 && x < 30 && y >= 5 && y < 15;
      const bool on_line = y >= 5 && y <= 15 && x >= 2 && x <= 38;  // thickness 10 around row 10
      const unsigned int type = typeAt(x, y);
      if (!inside) {
        const unsigned int before = x == 5 && y == 10    ? SemanticFlags::STATIC.value
                                    : x == 35 && y == 30 ? kCovered
                                                         : 0u;
        EXPECT_EQ(type, before) << x << "," << y;
      } else if (y >= 6 && y <= 14) {  // well inside the band
        EXPECT_EQ(type & kCovered, kCovered) << x << "," << y;
      } else if (!on_line) {
        EXPECT_EQ(type & kCovered, 0u) << x << "," << y;
      }
    }
  }
  EXPECT_EQ(typeAt(20, 12), kCovered | SemanticFlags::STATIC);
}

// Against plain geometry: after a random walk, a window cell within (t - 1) / 2 cells of the path
// polyline is covered and one farther than t / 2 + 1 cells is not.
TEST_F(CleanCoverageLayerTest, MarksWhatLiesWithinHalfTheWidthOfThePath)
{
  std::mt19937 random(7);
  for (double width : {0.05, 0.2, 0.5}) {
    SCOPED_TRACE(width);
    SetUp();
    auto layer = makeLayer(
        {{"coverage_width", width},
         {"clean_path_to_robot_offset", 0.0},
         {"local_optimize_length", 0.5},
         {"global_optimize_length", 2.0}},
        GridSpec{100, 100});
    double x = 2.5;
    double y = 2.5;
    double heading = 0.0;
    std::uniform_real_distribution<double> turn(-0.6, 0.6);
    for (int step = 0; step < 400; ++step) {
      heading += turn(random);
      x = std::clamp(x + 0.04 * std::cos(heading), 0.3, 4.7);
      y = std::clamp(y + 0.04 * std::sin(heading), 0.3, 4.7);
      cycle(*layer, x, y, heading);
    }
    const auto path = pathOf(*layer);
    ASSERT_GT(path.size(), 4u);
    const double t = width / 0.05 < 1.0 ? 1.0 : std::floor(width / 0.05 + 1e-9);
    const auto distance = [&](double px, double py) {
      double best = std::numeric_limits<double>::max();
      for (size_t i = 1; i < path.size(); ++i) {
        const double ax = path[i - 1].x, ay = path[i - 1].y;
        const double bx = path[i].x - ax, by = path[i].y - ay;
        const double length2 = bx * bx + by * by;
        double u = length2 > 0 ? ((px - ax) * bx + (py - ay) * by) / length2 : 0.0;
        u = std::clamp(u, 0.0, 1.0);
        best = std::min(best, std::hypot(px - ax - u * bx, py - ay - u * by));
      }
      return best;
    };
    int checked = 0;
    for (uint32_t cy = 0; cy < 100; ++cy) {
      for (uint32_t cx = 0; cx < 100; ++cx) {
        const double d = distance(cx, cy);
        const bool covered = (typeAt(cx, cy) & kCovered) != 0u;
        if (d <= (t - 1.0) / 2.0) {
          EXPECT_TRUE(covered) << cx << "," << cy << " at " << d;
          ++checked;
        } else if (d > t / 2.0 + 1.0) {
          EXPECT_FALSE(covered) << cx << "," << cy << " at " << d;
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 5000);
  }
}

// With the defaults and 0.05 m cells, a straight run is simplified locally once 5 m lie past
// local_index, and globally once 50 m lie past global_index.
TEST_F(CleanCoverageLayerTest, StraightensAtTheDefaultLengths)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{1100, 4, 0.05, 0.0, 0.0});
  struct Step
  {
    int last_cell;  // the run so far covers cells 0 .. last_cell of row 1
    size_t path_size;
    uint32_t local_index;
    uint32_t global_index;
  };
  // One cell a cycle. At 100 cells (5 m) the run collapses to its two ends, the first recorded
  // twice; every further 100 cells add the junction again and one end; at 1000 cells (50 m) the
  // global pass collapses it again.
  const std::vector<Step> steps = {
      {4, 5, 1, 1},
      {99, 100, 1, 1},
      {100, 3, 3, 1},
      {150, 53, 3, 1},
      {200, 5, 5, 1},
      {999, 118, 19, 1},
      {1000, 3, 3, 3},
      {1050, 53, 3, 3},
  };
  int cell = 0;
  for (const auto & step : steps) {
    for (; cell <= step.last_cell; ++cell) {
      cycle(*layer, centre(cell), centre(1), 0.0, {}, false);
    }
    CostmapLock lock(*layer->getMutex());
    SCOPED_TRACE(step.last_cell);
    EXPECT_EQ(layer->clean_path.size(), step.path_size);
    EXPECT_EQ(layer->local_index, step.local_index);
    EXPECT_EQ(layer->global_index, step.global_index);
    EXPECT_EQ(layer->clean_path.front(), cv::Point(0, 1));
    EXPECT_EQ(layer->clean_path.back(), cv::Point(step.last_cell, 1));
  }
}

// A turn survives straightening; points on a straight run between turns do not, and the point
// where a straightening starts is recorded twice: the simplified segment begins with it.
TEST_F(CleanCoverageLayerTest, StraighteningKeepsCornersAndRepeatsTheJunction)
{
  auto layer = makeLayer(
      {{"clean_path_to_robot_offset", 0.0}, {"local_optimize_length", 1.0}}, GridSpec{60, 60});
  for (int x = 5; x <= 30; ++x) {
    cycle(*layer, centre(x), centre(5));
  }
  for (int y = 6; y <= 40; ++y) {
    cycle(*layer, centre(30), centre(y));
  }
  // Straightened every 1 m (20 cells): at (25, 5), at (30, 20) with the corner and at (30, 40).
  const std::vector<cv::Point> expected = {
      {5, 5}, {5, 5}, {25, 5}, {25, 5}, {30, 5}, {30, 20}, {30, 20}, {30, 40}};
  EXPECT_EQ(pathOf(*layer), expected);
}

// Standing still adds one point and no more, whatever the straightening lengths against the
// thinning's 0.2 m; a NaN length never straightens. The path ends at the robot. The last case
// stops 0.3 m off the track: a step longer than both lengths, which the two straightenings reach
// from different points and where neither has anything to drop.
TEST_F(CleanCoverageLayerTest, StandingStillAddsNoPointsAtAnyStraighteningLength)
{
  const double nan = std::nan("");
  for (auto [local, global, y] : std::vector<std::tuple<double, double, int>>{
           {0.0, 0.0, 5}, {nan, nan, 5}, {0.1, 0.1, 5}, {0.3, 0.2, 11}}) {
    SCOPED_TRACE(local);
    SetUp();
    auto layer = makeLayer(
        {{"clean_path_to_robot_offset", 0.0},
         {"local_optimize_length", local},
         {"global_optimize_length", global}});
    for (int x = 5; x <= 16; ++x) {
      cycle(*layer, centre(x), centre(5));
    }
    cycle(*layer, centre(16), centre(y));
    const size_t size = pathOf(*layer).size();
    for (int i = 0; i < 20; ++i) {
      cycle(*layer, centre(16), centre(y));
    }
    EXPECT_EQ(pathOf(*layer).size(), std::isnan(local) ? 12u : size);
    EXPECT_EQ(pathOf(*layer).back(), cv::Point(16, y));
  }
}

TEST_F(CleanCoverageLayerTest, BoundsCoverThePathOrTheRobot)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{200, 200});
  const std::vector<double> untouched = {kLargest, kLargest, kLowest, kLowest};
  // Robot outside the costmap, empty path: unchanged.
  EXPECT_EQ(cycle(*layer, -1.0, 2.0), untouched);
  // Empty path: the robot's cell centre, widened by 3 m. Recorded while disabled too.
  layer->enabled = false;
  auto bounds = cycle(*layer, centre(40), centre(60));
  EXPECT_DOUBLE_EQ(bounds[0], centre(40) - 3.0);
  EXPECT_DOUBLE_EQ(bounds[1], centre(60) - 3.0);
  EXPECT_DOUBLE_EQ(bounds[2], centre(40) + 3.0);
  EXPECT_DOUBLE_EQ(bounds[3], centre(60) + 3.0);
  EXPECT_EQ(layer->robot_x, centre(40));
  EXPECT_EQ(layer->robot_y, centre(60));
  layer->enabled = true;
  // With a path: from its lowest bounding cell less 3 m to the cell one past its highest plus 3 m.
  for (const auto & p : std::vector<cv::Point>{{40, 60}, {70, 50}, {55, 90}, {45, 80}}) {
    cycle(*layer, centre(p.x), centre(p.y));
  }
  bounds = cycle(*layer, -5.0, -5.0);  // the robot no longer matters
  EXPECT_DOUBLE_EQ(bounds[0], centre(40) - 3.0);
  EXPECT_DOUBLE_EQ(bounds[1], centre(50) - 3.0);
  EXPECT_DOUBLE_EQ(bounds[2], centre(71) + 3.0);
  EXPECT_DOUBLE_EQ(bounds[3], centre(91) + 3.0);
  // Wider bounds stay.
  std::vector<double> wide = {-100.0, -100.0, 100.0, 100.0};
  {
    std::lock_guard<std::mutex> lock(map_->mutex);
    layer->updateBounds(0.0, 0.0, 0.0, &wide[0], &wide[1], &wide[2], &wide[3]);
  }
  EXPECT_EQ(wide, (std::vector<double>{-100.0, -100.0, 100.0, 100.0}));
}

// What leaves the grid alone: tracing off, a disabled layer, a null grid (the path and raster
// still follow the robot). reset() only marks the layer not current.
TEST_F(CleanCoverageLayerTest, StatesThatLeaveTheGridAlone)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{40, 40}, false);
  for (int x = 5; x < 12; ++x) {
    cycle(*layer, centre(x), centre(5));
  }
  EXPECT_TRUE(pathOf(*layer).empty()) << "tracing is off until triggered";

  trigger(*layer, true);
  layer->enabled = false;
  for (int x = 5; x < 12; ++x) {
    cycle(*layer, centre(x), centre(5));
  }
  EXPECT_TRUE(pathOf(*layer).empty()) << "a disabled layer does not trace";

  layer->enabled = true;
  for (int x = 5; x < 12; ++x) {
    cycle(*layer, centre(x), centre(5), 0.0, {}, false);
  }
  EXPECT_EQ(pathOf(*layer).size(), 7u);
  EXPECT_EQ(coveredCount(), 0u);
  EXPECT_FALSE(layer->isCurrent());
  {
    CostmapLock lock(*layer->getMutex());
    ASSERT_EQ(layer->clean_mat.rows, 40);
    ASSERT_EQ(layer->clean_mat.cols, 40);
    EXPECT_EQ(layer->getMatValue(8, 5), CleanCoverageLayer::kPathValue);
    EXPECT_EQ(layer->getMatValue(8, 30), 0);
  }

  cycle(*layer, centre(12), centre(5));
  const size_t covered = coveredCount();
  EXPECT_GT(covered, 0u);
  EXPECT_TRUE(layer->isCurrent());
  {
    std::lock_guard<std::mutex> lock(map_->mutex);
    layer->reset();
  }
  EXPECT_FALSE(layer->isCurrent());
  EXPECT_EQ(pathOf(*layer).size(), 8u);
  EXPECT_EQ(coveredCount(), covered);

  // Tracing off forgets the path; the flags already drawn stay.
  EXPECT_TRUE(trigger(*layer, false)->success);
  cycle(*layer, centre(20), centre(20));
  EXPECT_TRUE(pathOf(*layer).empty());
  EXPECT_EQ(coveredCount(), covered);
  CostmapLock lock(*layer->getMutex());
  EXPECT_EQ(layer->local_index, 1u);
  EXPECT_EQ(layer->global_index, 1u);
}

// A re-size of the grid: the costmap and the raster follow, the path keeps its cells.
TEST_F(CleanCoverageLayerTest, FollowsAResizedGrid)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{40, 40});
  for (int x = 5; x < 12; ++x) {
    cycle(*layer, centre(x), centre(5));
  }
  const auto path = pathOf(*layer);
  map_->resizeMap(60, 30, 0.05, 0.0, 0.0);
  EXPECT_EQ(pathOf(*layer), path);
  EXPECT_EQ(layer->getSizeInCellsX(), 60u);
  EXPECT_EQ(coveredCount(), 0u) << "the re-size emptied the grid";
  cycle(*layer, centre(50), centre(5));
  {
    CostmapLock lock(*layer->getMutex());
    EXPECT_EQ(layer->clean_mat.rows, 30);
    EXPECT_EQ(layer->clean_mat.cols, 60);
  }
  EXPECT_EQ(typeAt(45, 5) & kCovered, kCovered);
  // A smaller grid whose window is handed over unclipped: the loop stays inside both.
  map_->resizeMap(20, 10, 0.05, 0.0, 0.0);
  cycle(*layer, centre(15), centre(5), 0.0, {-5, -5, 100, 100});
  EXPECT_EQ(typeAt(10, 5) & kCovered, kCovered);
  // A grid without cells: nothing to trace or draw into, and the path stays.
  const auto before = pathOf(*layer);
  map_->resizeMap(0, 0, 0.05, 0.0, 0.0);
  EXPECT_NO_THROW(cycle(*layer, centre(3), centre(3)));
  EXPECT_EQ(pathOf(*layer), before);
}

// On a rolling window the band stays on the track: the path follows the grid's origin. Points
// that left the window stay in the path and are handed out where the robot was.
TEST_F(CleanCoverageLayerTest, FollowsARollingWindow)
{
  map_ = std::make_shared<LayeredMapT>("map", true, nullptr);
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{80, 80});
  for (int step = 0; step <= 120; ++step) {  // 6 m east along y = 1.025, one 4 m window and a half
    map_->updateMap(1.025 + 0.05 * step, 1.025, 0.0);
  }
  const auto & grid = map_->semanticmap;
  const auto track_y = static_cast<uint32_t>((1.025 - grid.origin_y) / 0.05);
  for (uint32_t x = 0; x < 80; ++x) {  // covered from the window's edge up to the robot (7.025)
    const double wx = grid.origin_x + (x + 0.5) * 0.05;
    if (wx < 6.7 || wx > 7.35) {
      EXPECT_EQ((typeAt(x, track_y) & kCovered) != 0u, wx < 7.0) << x;
    }
  }
  auto request = std::make_shared<CleanCoverageLayer::GetCoveredPoints::Request>();
  request->enable = true;
  auto response = std::make_shared<CleanCoverageLayer::GetCoveredPoints::Response>();
  layer->getCoveredPointsCallback(request, response);
  ASSERT_EQ(response->poses.size(), pathOf(*layer).size());
  EXPECT_NEAR(response->poses.front().pose.position.x, 1.025, 1e-9);
  EXPECT_NEAR(response->poses.back().pose.position.x, 7.025, 1e-9);
  for (const auto & pose : response->poses) {
    EXPECT_NEAR(pose.pose.position.y, 1.025, 1e-9);
  }
}

// On a rolling window the band stays the polyline of the path as OpenCV draws it, also while the
// points the robot left behind lie far outside the window.
TEST_F(CleanCoverageLayerTest, TheBandIsThePolylineOfThePathOnARollingWindow)
{
  map_ = std::make_shared<LayeredMapT>("map", true, nullptr);
  auto layer =
      makeLayer({{"clean_path_to_robot_offset", 0.0}, {"coverage_width", 0.2}}, GridSpec{80, 80});
  for (int step = 0; step < 600; ++step) {  // two turns of a 3 m circle, 4 cm a cycle
    const double a = step * 0.0133;
    map_->updateMap(3.0 * std::cos(a), 3.0 * std::sin(a), a + M_PI / 2);
    CostmapLock lock(*layer->getMutex());
    if (layer->clean_path.size() > 4) {
      cv::Mat drawn = cv::Mat::zeros(80, 80, CV_8UC1);
      const std::vector<std::vector<cv::Point>> lines{layer->clean_path};
      cv::polylines(drawn, lines, false, 253, 4, cv::LINE_4);
      ASSERT_EQ(cv::countNonZero(layer->clean_mat != drawn), 0) << "cycle " << step;
    }
  }
}

// A new map with another resolution and origin: every point keeps its place in the world.
TEST_F(CleanCoverageLayerTest, CarriesThePathOverToANewGeometry)
{
  auto layer = makeLayer({{"clean_path_to_robot_offset", 0.0}}, GridSpec{40, 40});
  for (int x = 10; x <= 20; ++x) {
    cycle(*layer, centre(x), centre(30));
  }
  map_->resizeMap(60, 60, 0.1, -1.0, 0.5);
  cycle(*layer, centre(21), centre(30));
  EXPECT_EQ(pathOf(*layer).front(), cv::Point(15, 10)) << "(0.525, 1.525) in the new cells";
  EXPECT_EQ(typeAt(17, 10) & kCovered, kCovered) << "(0.775, 1.525), on the track";
  EXPECT_EQ(typeAt(15, 30) & kCovered, 0u) << "where the old cells would put the band";
}

}  // namespace
