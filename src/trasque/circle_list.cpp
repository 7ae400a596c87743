#include "trasque/circle_list.hpp"

#include <cmath>
#include <cstdint>

#include "util/util.hpp"
#include "zone_raster.hpp"

namespace trasque {

CircleList::CircleList(
    const std::vector<NonIdealPlanePoint> & points, Type type, std::string_view id)
    : Base(type, DescType::CIRCLE_LIST, id), feature_points(points)
{
}

const std::vector<NonIdealPlanePoint> & CircleList::getFeaturePoints() const
{
  return feature_points;
}

bool CircleList::isIntersecting(const NonIdealPlanePoint & point)
{
  for (const auto & p : feature_points) {
    if (point.isIntersecting(p)) {
      return true;
    }
  }
  return false;
}

std::shared_ptr<semantic_map::Gridmap<bool>> CircleList::getGrid(double resolution)
{
  if (grid_cache && grid_cache->resolution == resolution) {
    return grid_cache;
  }
  grid_cache = rasterise(resolution);
  return grid_cache;
}

std::shared_ptr<semantic_map::Gridmap<bool>> CircleList::rasterise(double resolution) const
{
  detail::Extent extent{};
  const auto found = detail::discExtent(feature_points, true, extent);
  if (found == detail::ExtentResult::NONE) {
    // Nothing to draw: no discs, or none with a usable radius.
    return detail::makeEmptyRaster(resolution);
  }
  // The work bound is checked before the raster is allocated.
  auto raster = found == detail::ExtentResult::VALID &&
                        detail::discSteps(feature_points, resolution) <= detail::kMaxRasterSteps
                    ? detail::makeRaster(extent, resolution)
                    : nullptr;
  if (!raster) {
    LOG_WARN("CircleList id {} can not create a valid cache", id);
    return detail::makeEmptyRaster(resolution);
  }

  for (const auto & disc : feature_points) {
    if (!(disc.r >= 0.0)) {
      continue;
    }
    // The offsets are taken from the centre's cell, not mapped one by one: a centre on a cell
    // border would otherwise round two offsets into one cell and leave the next one empty.
    uint32_t cx = 0;
    uint32_t cy = 0;
    if (!detail::worldToCell(*raster, disc.x, disc.y, cx, cy)) {
      continue;
    }
    // The raster bound keeps n well inside int: r / resolution is at most half the raster side.
    const int n = static_cast<int>(std::fabs(disc.r / resolution) + 1.0);
    for (int i = -n; i <= n; ++i) {
      const double dy = i * resolution;
      const int64_t row = static_cast<int64_t>(cy) + i;
      for (int j = -n; j <= n; ++j) {
        const double dx = j * resolution;
        const int64_t col = static_cast<int64_t>(cx) + j;
        if (std::hypot(dx, dy) > disc.r || row < 0 || col < 0 || row >= raster->size_y ||
            col >= raster->size_x) {
          continue;
        }
        raster->data[static_cast<size_t>(row) * raster->size_x + static_cast<size_t>(col)] = true;
      }
    }
  }
  return raster;
}

}  // namespace trasque
