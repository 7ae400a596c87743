#include "trasque/block.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "util/util.hpp"
#include "zone_raster.hpp"

namespace trasque {

namespace {

struct Cell
{
  int64_t col;
  int64_t row;
};

class OutlineRaster
{
public:
  explicit OutlineRaster(semantic_map::Gridmap<bool> & raster) : raster_(raster) {}

  void set(int64_t col, int64_t row)
  {
    if (col >= 0 && row >= 0 && col < raster_.size_x && row < raster_.size_y) {
      raster_.data[static_cast<size_t>(row) * raster_.size_x + static_cast<size_t>(col)] = true;
    }
  }

  // Sets one cell per row from the start row up to the row before the end row: the first cell,
  // moving from the previous row's cell towards the end column, that reaches or passes the line.
  // The end row is left to the next edge, which starts by setting its start cell.
  void drawEdge(const Cell & s, const Cell & e)
  {
    set(s.col, s.row);
    if (s.row == e.row) {
      return;
    }
    const int64_t sx = e.col > s.col ? 1 : -1;
    const int64_t sy = e.row > s.row ? 1 : -1;
    const double d_col = static_cast<double>(e.col - s.col);
    const double d_row = static_cast<double>(e.row - s.row);
    const double dir = static_cast<double>(sx * sy);
    int64_t x = s.col;
    for (int64_t y = s.row + sy; y != e.row; y += sy) {
      // Each step of x raises the side value by |d_row| > 0, so the loop ends.
      while ((static_cast<double>(x - e.col) * d_row - static_cast<double>(y - e.row) * d_col) *
                 dir <
             0.0) {
        x += sx;
      }
      set(x, y);
    }
  }

  // Fills, per row, the cells between the first two set cells from the left.
  void fillFirstSpans()
  {
    const size_t width = raster_.size_x;
    for (size_t row = 0; row < raster_.size_y; ++row) {
      bool * first = raster_.data + row * width;
      bool * last = first + width;
      bool * j0 = std::find(first, last, true);
      if (j0 == last) {
        continue;
      }
      bool * j1 = std::find(j0 + 1, last, true);
      if (j1 == last) {
        continue;
      }
      std::fill(j0 + 1, j1, true);
    }
  }

private:
  semantic_map::Gridmap<bool> & raster_;
};

}  // namespace

Block::Block(const std::vector<NonIdealPlanePoint> & points, Type type, std::string_view id)
    : Base(type, DescType::BLOCK, id), feature_points(points)
{
}

const std::vector<NonIdealPlanePoint> & Block::getFeaturePoints() const { return feature_points; }

bool Block::isIntersecting(const NonIdealPlanePoint & point)
{
  for (const auto & p : feature_points) {
    if (point.isIntersecting(p)) {
      return true;
    }
  }
  return false;
}

std::shared_ptr<semantic_map::Gridmap<bool>> Block::getGrid(double resolution)
{
  if (grid_cache && grid_cache->resolution == resolution) {
    return grid_cache;
  }
  auto raster = rasterise(resolution);
  if (!raster) {
    LOG_WARN("Block id {} can not create a valid cache", id);
    raster = detail::makeEmptyRaster(resolution);
  }
  grid_cache = raster;
  return grid_cache;
}

std::shared_ptr<semantic_map::Gridmap<bool>> Block::rasterise(double resolution) const
{
  detail::Extent extent{};
  if (!detail::blockExtent(feature_points, extent) ||
      detail::blockSteps(feature_points, resolution, detail::rasterCells(extent, resolution)) >
          detail::kMaxRasterSteps) {
    return nullptr;
  }
  auto raster = detail::makeRaster(extent, resolution);
  if (!raster) {
    return nullptr;
  }

  std::vector<Cell> corners;
  corners.reserve(feature_points.size());
  for (const auto & p : feature_points) {
    // The extent rule puts every corner inside the raster; the clamp only guards rounding.
    const double col = std::trunc((p.x - raster->origin_x) / resolution);
    const double row = std::trunc((p.y - raster->origin_y) / resolution);
    corners.push_back(
        {static_cast<int64_t>(std::clamp(col, 0.0, static_cast<double>(raster->size_x - 1))),
         static_cast<int64_t>(std::clamp(row, 0.0, static_cast<double>(raster->size_y - 1)))});
  }

  OutlineRaster outline(*raster);
  outline.drawEdge(corners.back(), corners.front());
  for (size_t k = 0; k + 1 < corners.size(); ++k) {
    outline.drawEdge(corners[k], corners[k + 1]);
  }
  outline.fillFirstSpans();
  return raster;
}

}  // namespace trasque
