#ifndef TRASQUE__CIRCLE_LIST_HPP_
#define TRASQUE__CIRCLE_LIST_HPP_

#include <memory>
#include <string_view>
#include <vector>

#include "trasque/base.hpp"

namespace trasque {

/**
 * @brief A zone made of discs: the union of its feature points.
 *
 * A disc sets the raster cells into which the points at whole-cell offsets from its centre fall,
 * when those points lie within its radius (boundary included). A disc of radius 0 sets the cell
 * of its centre; a disc with a negative or NaN radius sets nothing and does not widen the raster.
 */
class CircleList final : public Base
{
public:
  CircleList(const std::vector<NonIdealPlanePoint> & points, Type type, std::string_view id);

  const std::vector<NonIdealPlanePoint> & getFeaturePoints() const override;
  bool isIntersecting(const NonIdealPlanePoint & point) override;
  using Base::isIntersecting;
  std::shared_ptr<semantic_map::Gridmap<bool>> getGrid(double resolution) override;

  const std::vector<NonIdealPlanePoint> feature_points;
  /// The last raster made; empty until the first getGrid.
  std::shared_ptr<semantic_map::Gridmap<bool>> grid_cache;

private:
  std::shared_ptr<semantic_map::Gridmap<bool>> rasterise(double resolution) const;
};

}  // namespace trasque

#endif  // TRASQUE__CIRCLE_LIST_HPP_
