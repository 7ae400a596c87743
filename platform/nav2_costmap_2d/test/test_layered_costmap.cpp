// LayeredCostmap's update cycle, sizing and footprint, with layers that record their calls.
#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_layer.hpp"
#include "nav2_costmap_2d/layered_costmap.hpp"

namespace {

using nav2_costmap_2d::Costmap2D;
using nav2_costmap_2d::LayeredCostmap;

// Whether another thread can take the mutex (false while this thread holds it).
bool lockableFromOtherThread(Costmap2D::mutex_t * mutex)
{
  return std::async(
             std::launch::async,
             [mutex]() {
               std::unique_lock<Costmap2D::mutex_t> lock(*mutex, std::try_to_lock);
               return lock.owns_lock();
             })
      .get();
}

struct Call
{
  std::string layer;
  std::string what;
};

// Reports fixed bounds, writes a fixed cost into the window it is given and records every call.
class RecordingLayer : public nav2_costmap_2d::Layer
{
public:
  RecordingLayer(
      const std::string & name,
      LayeredCostmap * parent,
      std::vector<Call> * calls,
      double min_x,
      double min_y,
      double max_x,
      double max_y,
      unsigned char cost)
      : calls_(calls), min_x_(min_x), min_y_(min_y), max_x_(max_x), max_y_(max_y), cost_(cost)
  {
    name_ = name;
    layered_costmap_ = parent;
    enabled_ = true;
    current_ = true;
  }

  void reset() override {}
  bool isClearable() override { return false; }

  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override
  {
    calls_->push_back({name_, "bounds"});
    locked_in_bounds = !lockableFromOtherThread(layered_costmap_->getCostmap()->getMutex());
    seen_robot = {robot_x, robot_y, robot_yaw};
    seen_bounds_in = {*min_x, *min_y, *max_x, *max_y};
    if (report_bounds) {
      *min_x = std::min(*min_x, min_x_);
      *min_y = std::min(*min_y, min_y_);
      *max_x = std::max(*max_x, max_x_);
      *max_y = std::max(*max_y, max_y_);
    }
  }

  void updateCosts(Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j) override
  {
    calls_->push_back({name_, "costs"});
    locked_in_costs = !lockableFromOtherThread(layered_costmap_->getCostmap()->getMutex());
    grid_seen = &master_grid;
    window = {min_i, min_j, max_i, max_j};
    cost_seen_at_origin = master_grid.getCost(min_i, min_j);
    for (int j = min_j; j < max_j; ++j) {
      for (int i = min_i; i < max_i; ++i) {
        master_grid.setCost(i, j, cost_);
      }
    }
  }

  void matchSize() override { calls_->push_back({name_, "match"}); }

  void onFootprintChanged() override { calls_->push_back({name_, "footprint"}); }

  void setCurrent(bool current) { current_ = current; }

  void setEnabled(bool enabled) { enabled_ = enabled; }

  bool report_bounds{true};
  bool locked_in_bounds{false};
  bool locked_in_costs{false};
  std::vector<double> seen_robot;
  std::vector<double> seen_bounds_in;
  std::vector<int> window;
  Costmap2D * grid_seen{nullptr};
  unsigned char cost_seen_at_origin{0};

private:
  std::vector<Call> * calls_;
  double min_x_, min_y_, max_x_, max_y_;
  unsigned char cost_;
};

// 10 x 10 cells of 0.5 m at the origin, unknown space not tracked.
class LayeredCostmapTest : public ::testing::Test
{
protected:
  void SetUp() override { layered_.resizeMap(10, 10, 0.5, 0.0, 0.0); }

  std::shared_ptr<RecordingLayer> addLayer(
      const std::string & name,
      double min_x,
      double min_y,
      double max_x,
      double max_y,
      unsigned char cost,
      bool filter = false)
  {
    auto layer = std::make_shared<RecordingLayer>(
        name, &layered_, &calls_, min_x, min_y, max_x, max_y, cost);
    if (filter) {
      layered_.addFilter(layer);
    } else {
      layered_.addPlugin(layer);
    }
    return layer;
  }

  LayeredCostmap layered_{"map", false, false};
  std::vector<Call> calls_;
};

TEST_F(LayeredCostmapTest, WithoutLayersTheCostmapNeverInitialises)
{
  layered_.getCostmap()->resetMapToValue(0, 0, 10, 10, 9);
  layered_.updateMap(1.0, 1.0, 0.0);
  EXPECT_FALSE(layered_.isInitialized());
  unsigned int x0, xn, y0, yn;
  layered_.getBounds(&x0, &xn, &y0, &yn);
  EXPECT_EQ(xn, 0u);
  EXPECT_EQ(yn, 0u);
  // Nothing was reset either.
  EXPECT_EQ(layered_.getCostmap()->getCost(3, 3), 9);
}

TEST_F(LayeredCostmapTest, BoundsBecomeAHalfOpenCellWindow)
{
  auto layer = addLayer("a", 1.0, 1.2, 2.0, 3.1, 50);
  layered_.updateMap(0.5, 0.6, 0.7);

  EXPECT_EQ(layer->seen_robot, (std::vector<double>{0.5, 0.6, 0.7}));
  const double max = std::numeric_limits<double>::max();
  const double lowest = std::numeric_limits<double>::lowest();
  EXPECT_EQ(layer->seen_bounds_in, (std::vector<double>{max, max, lowest, lowest}));
  EXPECT_EQ(layer->window, (std::vector<int>{2, 2, 5, 7}));

  unsigned int x0, xn, y0, yn;
  layered_.getBounds(&x0, &xn, &y0, &yn);
  EXPECT_EQ(x0, 2u);
  EXPECT_EQ(xn, 5u);
  EXPECT_EQ(y0, 2u);
  EXPECT_EQ(yn, 7u);
  EXPECT_TRUE(layered_.isInitialized());

  double minx, miny, maxx, maxy;
  layered_.getUpdatedBounds(minx, miny, maxx, maxy);
  EXPECT_DOUBLE_EQ(minx, 1.0);
  EXPECT_DOUBLE_EQ(maxy, 3.1);
}

TEST_F(LayeredCostmapTest, WindowIsClampedToTheGrid)
{
  auto layer = addLayer("a", -100.0, -3.0, 100.0, 100.0, 50);
  layered_.updateMap(0.0, 0.0, 0.0);
  EXPECT_EQ(layer->window, (std::vector<int>{0, 0, 10, 10}));
}

TEST_F(LayeredCostmapTest, WindowIsResetBeforeTheLayersWrite)
{
  auto first = addLayer("first", 1.0, 1.0, 2.0, 2.0, 40);
  auto second = addLayer("second", 1.0, 1.0, 2.0, 2.0, 60);
  layered_.getCostmap()->resetMapToValue(0, 0, 10, 10, 9);

  layered_.updateMap(0.0, 0.0, 0.0);

  // The first layer found the default value, the second found the first layer's cost.
  EXPECT_EQ(first->cost_seen_at_origin, nav2_costmap_2d::FREE_SPACE);
  EXPECT_EQ(second->cost_seen_at_origin, 40);
  EXPECT_EQ(layered_.getCostmap()->getCost(2, 2), 60);
  // Outside the window nothing changed.
  EXPECT_EQ(layered_.getCostmap()->getCost(0, 0), 9);
  EXPECT_EQ(layered_.getCostmap()->getCost(5, 5), 9);
}

TEST_F(LayeredCostmapTest, AllBoundsComeBeforeAnyCosts)
{
  addLayer("first", 1.0, 1.0, 2.0, 2.0, 40);
  addLayer("second", 3.0, 3.0, 4.0, 4.0, 60);
  layered_.updateMap(0.0, 0.0, 0.0);
  ASSERT_EQ(calls_.size(), 4u);
  EXPECT_EQ(calls_[0].layer + calls_[0].what, "firstbounds");
  EXPECT_EQ(calls_[1].layer + calls_[1].what, "secondbounds");
  EXPECT_EQ(calls_[2].layer + calls_[2].what, "firstcosts");
  EXPECT_EQ(calls_[3].layer + calls_[3].what, "secondcosts");
}

TEST_F(LayeredCostmapTest, LayersRunWithTheMasterMutexHeld)
{
  auto layer = addLayer("a", 1.0, 1.0, 2.0, 2.0, 40);
  layered_.updateMap(0.0, 0.0, 0.0);
  EXPECT_TRUE(layer->locked_in_bounds);
  EXPECT_TRUE(layer->locked_in_costs);
}

TEST_F(LayeredCostmapTest, UntouchedBoundsSkipTheCostsAndKeepItUninitialised)
{
  auto layer = addLayer("a", 0.0, 0.0, 0.0, 0.0, 40);
  layer->report_bounds = false;
  layered_.updateMap(1.0, 1.0, 0.0);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "bounds");
  EXPECT_FALSE(layered_.isInitialized());
}

TEST_F(LayeredCostmapTest, FiltersWorkOnTheCombinedGridAfterTheCopy)
{
  auto plugin = addLayer("plugin", 1.0, 1.0, 2.0, 2.0, 40);
  auto filter = addLayer("filter", 1.0, 1.0, 1.2, 1.2, 70, true);
  layered_.updateMap(0.0, 0.0, 0.0);

  ASSERT_NE(plugin->grid_seen, nullptr);
  EXPECT_NE(plugin->grid_seen, layered_.getCostmap());
  EXPECT_EQ(filter->grid_seen, layered_.getCostmap());
  // The filter saw the plug-in's cost copied over, and its own cost does not reach the
  // plug-ins' grid.
  EXPECT_EQ(filter->cost_seen_at_origin, 40);
  EXPECT_EQ(layered_.getCostmap()->getCost(2, 2), 70);
  EXPECT_EQ(plugin->grid_seen->getCost(2, 2), 40);
}

TEST_F(LayeredCostmapTest, RollingWindowCentresOnTheRobot)
{
  LayeredCostmap rolling("odom", true, true);
  rolling.resizeMap(10, 10, 0.5, 0.0, 0.0);
  EXPECT_EQ(rolling.getCostmap()->getDefaultValue(), nav2_costmap_2d::NO_INFORMATION);
  EXPECT_TRUE(rolling.isTrackingUnknown());
  // Size in metres is 4.75: the origin goes to 5 - 2.375 = 2.625, snapped down to whole cells.
  rolling.updateMap(5.0, 6.0, 0.0);
  EXPECT_DOUBLE_EQ(rolling.getCostmap()->getOriginX(), 2.5);
  EXPECT_DOUBLE_EQ(rolling.getCostmap()->getOriginY(), 3.5);
  EXPECT_FALSE(rolling.isOutofBounds(5.0, 6.0));
}

TEST_F(LayeredCostmapTest, OutOfBoundsIsMeasuredOnTheMasterGrid)
{
  EXPECT_FALSE(layered_.isOutofBounds(4.9, 0.0));
  EXPECT_TRUE(layered_.isOutofBounds(5.0, 0.0));
  EXPECT_TRUE(layered_.isOutofBounds(-0.1, 1.0));
}

TEST_F(LayeredCostmapTest, ResizeReachesEveryPluginAndFilter)
{
  addLayer("plugin", 0, 0, 1, 1, 1);
  addLayer("filter", 0, 0, 1, 1, 1, true);
  layered_.resizeMap(20, 4, 0.25, -1.0, -1.0, true);
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[0].layer + calls_[0].what, "pluginmatch");
  EXPECT_EQ(calls_[1].layer + calls_[1].what, "filtermatch");
  EXPECT_TRUE(layered_.isSizeLocked());
  EXPECT_EQ(layered_.getCostmap()->getSizeInCellsX(), 20u);
  EXPECT_DOUBLE_EQ(layered_.getCostmap()->getOriginX(), -1.0);
}

TEST_F(LayeredCostmapTest, CurrentUnlessAnEnabledLayerIsNot)
{
  auto a = addLayer("a", 0, 0, 1, 1, 1);
  auto b = addLayer("b", 0, 0, 1, 1, 1, true);
  EXPECT_TRUE(layered_.isCurrent());
  b->setCurrent(false);
  EXPECT_FALSE(layered_.isCurrent());
  b->setEnabled(false);
  EXPECT_TRUE(layered_.isCurrent());
}

TEST_F(LayeredCostmapTest, FootprintSetsRadiiAndNotifiesLayers)
{
  addLayer("a", 0, 0, 1, 1, 1);
  geometry_msgs::msg::Point p;
  std::vector<geometry_msgs::msg::Point> footprint;
  for (auto xy : std::vector<std::pair<double, double>>{{1, 1}, {-1, 1}, {-1, -1}, {1, -1}}) {
    p.x = xy.first;
    p.y = xy.second;
    footprint.push_back(p);
  }
  layered_.setFootprint(footprint);
  EXPECT_EQ(layered_.getFootprint(), footprint);
  EXPECT_DOUBLE_EQ(layered_.getInscribedRadius(), 1.0);
  EXPECT_DOUBLE_EQ(layered_.getCircumscribedRadius(), std::sqrt(2.0));
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].what, "footprint");
}

}  // namespace
