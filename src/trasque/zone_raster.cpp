#include "zone_raster.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trasque {
namespace detail {

ExtentResult discExtent(
    const std::vector<NonIdealPlanePoint> & points, bool skip_bad_radius, Extent & extent)
{
  constexpr double kInf = std::numeric_limits<double>::infinity();
  Extent e{kInf, kInf, -kInf, -kInf};
  bool any = false;
  for (const auto & p : points) {
    double r = p.r;
    if (!(r >= 0.0)) {
      if (skip_bad_radius) {
        continue;
      }
      r = 0.0;
    }
    // std::min and std::max would silently drop a NaN, so it is caught here.
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(r)) {
      return ExtentResult::NOT_FINITE;
    }
    e.min_x = std::min(e.min_x, p.x - r);
    e.max_x = std::max(e.max_x, p.x + r);
    e.min_y = std::min(e.min_y, p.y - r);
    e.max_y = std::max(e.max_y, p.y + r);
    any = true;
  }
  if (!any) {
    return ExtentResult::NONE;
  }
  extent = e;
  return ExtentResult::VALID;
}

std::shared_ptr<semantic_map::Gridmap<bool>> makeEmptyRaster(double resolution)
{
  auto raster = std::make_shared<semantic_map::Gridmap<bool>>();
  raster->resolution = resolution;
  raster->default_value = false;
  raster->owns_data = true;
  return raster;
}

bool blockExtent(const std::vector<NonIdealPlanePoint> & corners, Extent & extent)
{
  // Corners are points: a corner with a bad radius counts as radius 0 so it stays inside.
  if (discExtent(corners, false, extent) != ExtentResult::VALID) {
    return false;
  }
  // Written negated so that NaN bounds are refused as well.
  return extent.max_x > extent.min_x && extent.max_y > extent.min_y;
}

namespace {

struct RasterGeometry
{
  double origin_x;
  double origin_y;
  uint64_t size_x;
  uint64_t size_y;
};

bool rasterGeometry(const Extent & extent, double resolution, RasterGeometry & geometry)
{
  if (!std::isfinite(resolution) || !(resolution > 0.0)) {
    return false;
  }
  const double span_x = (extent.max_x - extent.min_x) / resolution;
  const double span_y = (extent.max_y - extent.min_y) / resolution;
  // NaN, infinite or negative spans fail these tests too. The bound keeps the casts defined.
  const double kMaxSpan = static_cast<double>(kMaxRasterCells);
  if (!(span_x >= 0.0 && span_x <= kMaxSpan && span_y >= 0.0 && span_y <= kMaxSpan)) {
    return false;
  }
  geometry.origin_x = extent.min_x - resolution;
  geometry.origin_y = extent.min_y - resolution;
  if (!std::isfinite(geometry.origin_x) || !std::isfinite(geometry.origin_y)) {
    return false;
  }
  geometry.size_x = static_cast<uint64_t>(std::trunc(span_x)) + 3;
  geometry.size_y = static_cast<uint64_t>(std::trunc(span_y)) + 3;
  return geometry.size_x * geometry.size_y <= kMaxRasterCells;
}

}  // namespace

uint64_t rasterCells(const Extent & extent, double resolution)
{
  RasterGeometry geometry{};
  return rasterGeometry(extent, resolution, geometry) ? geometry.size_x * geometry.size_y : 0;
}

double discSteps(const std::vector<NonIdealPlanePoint> & discs, double resolution)
{
  double steps = 0.0;
  for (const auto & disc : discs) {
    if (disc.r >= 0.0) {
      const double side = 2.0 * std::trunc(std::fabs(disc.r / resolution) + 1.0) + 1.0;
      steps += side * side;
    }
  }
  return steps;
}

double blockSteps(
    const std::vector<NonIdealPlanePoint> & corners, double resolution, uint64_t cells)
{
  double steps = static_cast<double>(cells);
  for (size_t k = 0; k < corners.size(); ++k) {
    const auto & from = corners[k == 0 ? corners.size() - 1 : k - 1];
    const auto & to = corners[k];
    steps += (std::fabs(to.x - from.x) + std::fabs(to.y - from.y)) / resolution + 3.0;
  }
  return steps;
}

RasterCost rasterCost(
    const std::vector<NonIdealPlanePoint> & points, bool circles, double resolution)
{
  Extent extent{};
  const bool found = circles ? discExtent(points, true, extent) == ExtentResult::VALID
                             : blockExtent(points, extent);
  RasterCost cost;
  cost.cells = found ? rasterCells(extent, resolution) : 0;
  if (cost.cells == 0) {
    return {};
  }
  cost.steps = circles ? discSteps(points, resolution) : blockSteps(points, resolution, cost.cells);
  return cost;
}

std::shared_ptr<semantic_map::Gridmap<bool>> makeRaster(const Extent & extent, double resolution)
{
  RasterGeometry geometry{};
  if (!rasterGeometry(extent, resolution, geometry)) {
    return nullptr;
  }
  auto raster = makeEmptyRaster(resolution);
  raster->origin_x = geometry.origin_x;
  raster->origin_y = geometry.origin_y;
  raster->size_x = static_cast<uint32_t>(geometry.size_x);
  raster->size_y = static_cast<uint32_t>(geometry.size_y);
  raster->data = new bool[geometry.size_x * geometry.size_y]();
  return raster;
}

bool worldToCell(
    const semantic_map::Gridmap<bool> & raster, double wx, double wy, uint32_t & cx, uint32_t & cy)
{
  if (!(wx >= raster.origin_x) || !(wy >= raster.origin_y)) {
    return false;
  }
  const double fx = std::trunc((wx - raster.origin_x) / raster.resolution);
  const double fy = std::trunc((wy - raster.origin_y) / raster.resolution);
  if (!(fx < static_cast<double>(raster.size_x)) || !(fy < static_cast<double>(raster.size_y))) {
    return false;
  }
  cx = static_cast<uint32_t>(fx);
  cy = static_cast<uint32_t>(fy);
  return true;
}

}  // namespace detail
}  // namespace trasque
