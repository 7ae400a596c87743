#include "nav2_costmap_2d/layered_costmap.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "nav2_costmap_2d/footprint.hpp"
#include "rclcpp/logging.hpp"

namespace nav2_costmap_2d {

namespace {
rclcpp::Logger costmapLogger() { return rclcpp::get_logger("nav2_costmap_2d"); }
}  // namespace

LayeredCostmap::LayeredCostmap(std::string global_frame, bool rolling_window, bool track_unknown)
    : primary_costmap_(),
      combined_costmap_(),
      global_frame_(global_frame),
      rolling_window_(rolling_window),
      current_(false),
      minx_(0.0),
      miny_(0.0),
      maxx_(0.0),
      maxy_(0.0),
      bx0_(0),
      bxn_(0),
      by0_(0),
      byn_(0),
      initialized_(false),
      size_locked_(false),
      circumscribed_radius_(1.0),
      inscribed_radius_(0.1),
      footprint_(std::make_shared<std::vector<geometry_msgs::msg::Point>>())
{
  const unsigned char default_value = track_unknown ? NO_INFORMATION : FREE_SPACE;
  primary_costmap_.setDefaultValue(default_value);
  combined_costmap_.setDefaultValue(default_value);
}

LayeredCostmap::~LayeredCostmap()
{
  // Last added goes first, as the layers were stacked.
  while (!plugins_.empty()) {
    plugins_.pop_back();
  }
  while (!filters_.empty()) {
    filters_.pop_back();
  }
}

void LayeredCostmap::addPlugin(std::shared_ptr<Layer> plugin)
{
  std::unique_lock<Costmap2D::mutex_t> lock(*combined_costmap_.getMutex());
  plugins_.push_back(plugin);
}

void LayeredCostmap::addFilter(std::shared_ptr<Layer> filter)
{
  std::unique_lock<Costmap2D::mutex_t> lock(*combined_costmap_.getMutex());
  filters_.push_back(filter);
}

void LayeredCostmap::resizeMap(
    unsigned int size_x,
    unsigned int size_y,
    double resolution,
    double origin_x,
    double origin_y,
    bool size_locked)
{
  std::unique_lock<Costmap2D::mutex_t> lock(*combined_costmap_.getMutex());
  size_locked_ = size_locked;
  primary_costmap_.resizeMap(size_x, size_y, resolution, origin_x, origin_y);
  combined_costmap_.resizeMap(size_x, size_y, resolution, origin_x, origin_y);
  for (auto & plugin : plugins_) {
    plugin->matchSize();
  }
  for (auto & filter : filters_) {
    filter->matchSize();
  }
}

bool LayeredCostmap::isOutofBounds(double robot_x, double robot_y)
{
  unsigned int mx, my;
  return !combined_costmap_.worldToMap(robot_x, robot_y, mx, my);
}

void LayeredCostmap::updateMap(double robot_x, double robot_y, double robot_yaw)
{
  // Held for the whole cycle: layers may keep state that is not safe to update concurrently.
  std::unique_lock<Costmap2D::mutex_t> lock(*combined_costmap_.getMutex());

  if (rolling_window_) {
    const double new_origin_x = robot_x - combined_costmap_.getSizeInMetersX() / 2;
    const double new_origin_y = robot_y - combined_costmap_.getSizeInMetersY() / 2;
    primary_costmap_.updateOrigin(new_origin_x, new_origin_y);
    combined_costmap_.updateOrigin(new_origin_x, new_origin_y);
  }

  if (isOutofBounds(robot_x, robot_y)) {
    RCLCPP_WARN(costmapLogger(), "Robot is out of bounds of the costmap!");
  }

  if (plugins_.empty() && filters_.empty()) {
    return;
  }

  minx_ = miny_ = std::numeric_limits<double>::max();
  maxx_ = maxy_ = std::numeric_limits<double>::lowest();

  auto collect_bounds = [&](std::vector<std::shared_ptr<Layer>> & layers, const char * kind) {
    for (auto & layer : layers) {
      const double prev_minx = minx_;
      const double prev_miny = miny_;
      const double prev_maxx = maxx_;
      const double prev_maxy = maxy_;
      layer->updateBounds(robot_x, robot_y, robot_yaw, &minx_, &miny_, &maxx_, &maxy_);
      if (minx_ > prev_minx || miny_ > prev_miny || maxx_ < prev_maxx || maxy_ < prev_maxy) {
        RCLCPP_WARN(
            costmapLogger(),
            "Illegal bounds change, was [tl: (%f, %f), br: (%f, %f)], but "
            "is now [tl: (%f, %f), br: (%f, %f)]. The offending %s is %s",
            prev_minx,
            prev_miny,
            prev_maxx,
            prev_maxy,
            minx_,
            miny_,
            maxx_,
            maxy_,
            kind,
            layer->getName().c_str());
      }
    }
  };
  collect_bounds(plugins_, "layer");
  collect_bounds(filters_, "filter");

  int x0, xn, y0, yn;
  combined_costmap_.worldToMapEnforceBounds(minx_, miny_, x0, y0);
  combined_costmap_.worldToMapEnforceBounds(maxx_, maxy_, xn, yn);

  x0 = std::max(0, x0);
  xn = std::min(static_cast<int>(combined_costmap_.getSizeInCellsX()), xn + 1);
  y0 = std::max(0, y0);
  yn = std::min(static_cast<int>(combined_costmap_.getSizeInCellsY()), yn + 1);

  RCLCPP_DEBUG(costmapLogger(), "Updating area x: [%d, %d] y: [%d, %d]", x0, xn, y0, yn);

  if (xn < x0 || yn < y0) {
    return;
  }

  if (filters_.empty()) {
    combined_costmap_.resetMap(x0, y0, xn, yn);
    for (auto & plugin : plugins_) {
      plugin->updateCosts(combined_costmap_, x0, y0, xn, yn);
    }
  } else {
    // Plug-ins fill the primary grid, which filters never touch, so that a filter's output is
    // not fed back to the plug-ins in the next cycle.
    primary_costmap_.resetMap(x0, y0, xn, yn);
    for (auto & plugin : plugins_) {
      plugin->updateCosts(primary_costmap_, x0, y0, xn, yn);
    }
    if (!combined_costmap_.copyWindow(primary_costmap_, x0, y0, xn, yn, x0, y0)) {
      RCLCPP_ERROR(costmapLogger(), "Can not copy costmap (%i,%i)..(%i,%i) window", x0, y0, xn, yn);
      throw std::runtime_error{"Can not copy costmap"};
    }
    for (auto & filter : filters_) {
      filter->updateCosts(combined_costmap_, x0, y0, xn, yn);
    }
  }

  bx0_ = x0;
  bxn_ = xn;
  by0_ = y0;
  byn_ = yn;

  initialized_ = true;
}

bool LayeredCostmap::isCurrent()
{
  current_ = true;
  for (auto & plugin : plugins_) {
    current_ = current_ && (plugin->isCurrent() || !plugin->isEnabled());
  }
  for (auto & filter : filters_) {
    current_ = current_ && (filter->isCurrent() || !filter->isEnabled());
  }
  return current_;
}

void LayeredCostmap::setFootprint(const std::vector<geometry_msgs::msg::Point> & footprint_spec)
{
  const std::pair<double, double> radii = calculateMinAndMaxDistances(footprint_spec);
  // Planners read the footprint without the costmap lock, hence the atomic swap.
  std::atomic_store(
      &footprint_, std::make_shared<std::vector<geometry_msgs::msg::Point>>(footprint_spec));
  inscribed_radius_.store(radii.first);
  circumscribed_radius_.store(radii.second);

  for (auto & plugin : plugins_) {
    plugin->onFootprintChanged();
  }
  for (auto & filter : filters_) {
    filter->onFootprintChanged();
  }
}

}  // namespace nav2_costmap_2d
