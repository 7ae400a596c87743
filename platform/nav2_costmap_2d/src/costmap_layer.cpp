#include "nav2_costmap_2d/costmap_layer.hpp"

#include <algorithm>
#include <stdexcept>

#include "nav2_costmap_2d/cost_values.hpp"

namespace nav2_costmap_2d {

namespace {

// Calls combine(master cell, layer cost) for each cell of [min_i, max_i) x [min_j, max_j); the
// layer has the master's size, so one index serves both.
template <typename CombineT>
void combineInto(
    Costmap2D & master_grid,
    const unsigned char * layer,
    int min_i,
    int min_j,
    int max_i,
    int max_j,
    CombineT combine)
{
  unsigned char * master = master_grid.getCharMap();
  const unsigned int span = master_grid.getSizeInCellsX();
  for (int j = min_j; j < max_j; ++j) {
    unsigned int it = j * span + min_i;
    for (int i = min_i; i < max_i; ++i, ++it) {
      combine(master[it], layer[it]);
    }
  }
}

}  // namespace

void CostmapLayer::touch(
    double x, double y, double * min_x, double * min_y, double * max_x, double * max_y)
{
  *min_x = std::min(x, *min_x);
  *min_y = std::min(y, *min_y);
  *max_x = std::max(x, *max_x);
  *max_y = std::max(y, *max_y);
}

void CostmapLayer::matchSize()
{
  std::lock_guard<Costmap2D::mutex_t> guard(*getMutex());
  Costmap2D * master = layered_costmap_->getCostmap();
  resizeMap(
      master->getSizeInCellsX(),
      master->getSizeInCellsY(),
      master->getResolution(),
      master->getOriginX(),
      master->getOriginY());
}

void CostmapLayer::clearArea(int start_x, int start_y, int end_x, int end_y, bool invert)
{
  current_ = false;
  unsigned char * grid = getCharMap();
  const int size_x = static_cast<int>(getSizeInCellsX());
  const int size_y = static_cast<int>(getSizeInCellsY());
  for (int x = 0; x < size_x; ++x) {
    const bool inside_x = x > start_x && x < end_x;
    for (int y = 0; y < size_y; ++y) {
      const bool inside = inside_x && y > start_y && y < end_y;
      if (inside == invert) {
        continue;
      }
      grid[getIndex(x, y)] = NO_INFORMATION;
    }
  }
}

void CostmapLayer::addExtraBounds(double mx0, double my0, double mx1, double my1)
{
  extra_min_x_ = std::min(mx0, extra_min_x_);
  extra_max_x_ = std::max(mx1, extra_max_x_);
  extra_min_y_ = std::min(my0, extra_min_y_);
  extra_max_y_ = std::max(my1, extra_max_y_);
  has_extra_bounds_ = true;
}

void CostmapLayer::useExtraBounds(double * min_x, double * min_y, double * max_x, double * max_y)
{
  if (!has_extra_bounds_) {
    return;
  }
  *min_x = std::min(extra_min_x_, *min_x);
  *min_y = std::min(extra_min_y_, *min_y);
  *max_x = std::max(extra_max_x_, *max_x);
  *max_y = std::max(extra_max_y_, *max_y);
  extra_min_x_ = 1e6;
  extra_min_y_ = 1e6;
  extra_max_x_ = -1e6;
  extra_max_y_ = -1e6;
  has_extra_bounds_ = false;
}

void CostmapLayer::updateWithMax(
    nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j)
{
  if (!enabled_) {
    return;
  }
  auto take_max = [](unsigned char & master, unsigned char cost) {
    if (cost == NO_INFORMATION) {
      return;
    }
    if (master == NO_INFORMATION || master < cost) {
      master = cost;
    }
  };
  combineInto(master_grid, costmap_, min_i, min_j, max_i, max_j, take_max);
}

void CostmapLayer::updateWithTrueOverwrite(
    nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j)
{
  if (!enabled_) {
    return;
  }
  if (costmap_ == nullptr) {
    throw std::runtime_error("Can't update costmap layer: It has't been initialized yet!");
  }
  auto take = [](unsigned char & master, unsigned char cost) { master = cost; };
  combineInto(master_grid, costmap_, min_i, min_j, max_i, max_j, take);
}

void CostmapLayer::updateWithOverwrite(
    nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j)
{
  if (!enabled_) {
    return;
  }
  auto take_known = [](unsigned char & master, unsigned char cost) {
    if (cost != NO_INFORMATION) {
      master = cost;
    }
  };
  combineInto(master_grid, costmap_, min_i, min_j, max_i, max_j, take_known);
}

void CostmapLayer::updateWithAddition(
    nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j)
{
  if (!enabled_) {
    return;
  }
  auto add = [](unsigned char & master, unsigned char cost) {
    if (cost == NO_INFORMATION) {
      return;
    }
    if (master == NO_INFORMATION) {
      master = cost;
      return;
    }
    const int sum = master + cost;
    master = sum >= INSCRIBED_INFLATED_OBSTACLE
                 ? static_cast<unsigned char>(INSCRIBED_INFLATED_OBSTACLE - 1)
                 : static_cast<unsigned char>(sum);
  };
  combineInto(master_grid, costmap_, min_i, min_j, max_i, max_j, add);
}

}  // namespace nav2_costmap_2d
