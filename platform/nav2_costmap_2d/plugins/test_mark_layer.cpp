#include "test_mark_layer.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "nav2_costmap_2d/cost_values.hpp"
#include "pluginlib/class_list_macros.hpp"

namespace nav2_costmap_2d {

void TestMarkLayer::onInitialize()
{
  declareParameter("enabled", rclcpp::ParameterValue(true));
  declareParameter("mark_points", rclcpp::ParameterValue(std::vector<double>()));

  auto node = node_.lock();
  if (!node) {
    throw std::runtime_error{"Failed to lock node"};
  }
  node->get_parameter(getFullName("enabled"), enabled_);
  node->get_parameter(getFullName("mark_points"), mark_points_);
  if (mark_points_.size() % 2 != 0) {
    RCLCPP_ERROR(
        logger_,
        "%s: mark_points holds an odd number of values; the last one is ignored",
        name_.c_str());
    mark_points_.pop_back();
  }

  default_value_ = NO_INFORMATION;
  matchSize();
  current_ = true;
}

void TestMarkLayer::matchSize()
{
  std::lock_guard<Costmap2D::mutex_t> guard(*getMutex());
  CostmapLayer::matchSize();
  applyMarks();
}

void TestMarkLayer::applyMarks()
{
  for (size_t i = 0; i + 1 < mark_points_.size(); i += 2) {
    const double wx = mark_points_[i];
    const double wy = mark_points_[i + 1];
    unsigned int mx, my;
    if (!worldToMap(wx, wy, mx, my)) {
      continue;
    }
    setCost(mx, my, LETHAL_OBSTACLE);
    if (!has_marked_bounds_) {
      marked_min_x_ = marked_max_x_ = wx;
      marked_min_y_ = marked_max_y_ = wy;
      has_marked_bounds_ = true;
    } else {
      touch(wx, wy, &marked_min_x_, &marked_min_y_, &marked_max_x_, &marked_max_y_);
    }
  }
}

void TestMarkLayer::reset()
{
  std::lock_guard<Costmap2D::mutex_t> guard(*getMutex());
  resetMaps();
  current_ = true;
}

void TestMarkLayer::updateBounds(
    double robot_x,
    double robot_y,
    double /*robot_yaw*/,
    double * min_x,
    double * min_y,
    double * max_x,
    double * max_y)
{
  std::lock_guard<Costmap2D::mutex_t> guard(*getMutex());
  if (!enabled_) {
    return;
  }
  if (layered_costmap_->isRolling()) {
    updateOrigin(robot_x - getSizeInMetersX() / 2, robot_y - getSizeInMetersY() / 2);
  }
  useExtraBounds(min_x, min_y, max_x, max_y);
  if (has_marked_bounds_) {
    touch(marked_min_x_, marked_min_y_, min_x, min_y, max_x, max_y);
    touch(marked_max_x_, marked_max_y_, min_x, min_y, max_x, max_y);
    has_marked_bounds_ = false;
  }
  current_ = true;
}

void TestMarkLayer::updateCosts(Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j)
{
  std::lock_guard<Costmap2D::mutex_t> guard(*getMutex());
  updateWithMax(master_grid, min_i, min_j, max_i, max_j);
}

}  // namespace nav2_costmap_2d

PLUGINLIB_EXPORT_CLASS(nav2_costmap_2d::TestMarkLayer, nav2_costmap_2d::Layer)
