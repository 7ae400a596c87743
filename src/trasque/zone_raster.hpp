#ifndef TRASQUE__ZONE_RASTER_HPP_
#define TRASQUE__ZONE_RASTER_HPP_

#include <cstdint>
#include <memory>
#include <vector>

#include "brindlex_nav2_semanticmap/gridmap.hpp"
#include "trasque/non_ideal_plane_point.hpp"

namespace trasque {
namespace detail {

/// Largest raster a zone may allocate (64 Mi cells, one byte each); larger zones are refused.
constexpr uint64_t kMaxRasterCells = uint64_t{1} << 26;

/// Most steps (disc offsets tried, outline steps, cells filled) that rasterising a zone may take:
/// about a second's work. A room map takes a few million; larger zones are refused.
constexpr double kMaxRasterSteps = static_cast<double>(uint64_t{1} << 26);

/// World bounds of a set of discs, metres.
struct Extent
{
  double min_x;
  double min_y;
  double max_x;
  double max_y;
};

enum class ExtentResult
{
  NONE,  ///< no disc counts
  VALID,
  NOT_FINITE,  ///< a disc that counts has a coordinate or radius that is not finite
};

/**
 * @brief Bounds of the discs, each disc counted with its radius. With @p skip_bad_radius, discs
 * whose radius is negative or NaN are left out; otherwise they count as radius 0.
 */
ExtentResult discExtent(
    const std::vector<NonIdealPlanePoint> & points, bool skip_bad_radius, Extent & extent);

/**
 * @brief Bounds of a block's corners, every corner counted as a point.
 * @return false when the block cannot be rasterised: no corners, a coordinate that is not
 * finite, or no width or no height.
 */
bool blockExtent(const std::vector<NonIdealPlanePoint> & corners, Extent & extent);

/**
 * @brief Cells of the raster that makeRaster would allocate over @p extent.
 * @return 0 when makeRaster would refuse it.
 */
uint64_t rasterCells(const Extent & extent, double resolution);

/// Disc offsets that the circle-list raster tries at @p resolution: (2n + 1)^2 for each disc
/// with a usable radius, n = trunc(r / resolution + 1).
double discSteps(const std::vector<NonIdealPlanePoint> & discs, double resolution);

/// Steps of the block raster over a raster of @p cells cells: at most one per row and column
/// that each edge crosses, then one per cell of the fill.
double blockSteps(
    const std::vector<NonIdealPlanePoint> & corners, double resolution, uint64_t cells);

/// What rasterising a zone costs: the cells its raster takes and the steps that fill them.
struct RasterCost
{
  uint64_t cells{0};
  double steps{0.0};
};

/**
 * @brief Cost of rasterising a circle list (@p circles) or a block over @p points at
 * @p resolution; zero when the zone has nothing to draw or its raster would be too large to
 * allocate (beyond kMaxRasterCells). The steps count in full, also beyond kMaxRasterSteps.
 */
RasterCost rasterCost(
    const std::vector<NonIdealPlanePoint> & points, bool circles, double resolution);

/// A raster of 0 x 0 cells at origin (0, 0): what a zone hands out when it has nothing to draw.
std::shared_ptr<semantic_map::Gridmap<bool>> makeEmptyRaster(double resolution);

/**
 * @brief An all-false raster over @p extent with a margin of one cell on each side:
 * origin = minimum - resolution, size = trunc(span / resolution) + 3 cells per axis.
 * @return null when the resolution is not positive and finite, the extent is not finite, or the
 * raster would exceed kMaxRasterCells.
 */
std::shared_ptr<semantic_map::Gridmap<bool>> makeRaster(const Extent & extent, double resolution);

/**
 * @brief Cell of the world point (wx, wy): trunc((w - origin) / resolution) per axis.
 * @return false when the point lies below the origin or beyond the raster on either axis.
 */
bool worldToCell(
    const semantic_map::Gridmap<bool> & raster, double wx, double wy, uint32_t & cx, uint32_t & cy);

}  // namespace detail
}  // namespace trasque

#endif  // TRASQUE__ZONE_RASTER_HPP_
