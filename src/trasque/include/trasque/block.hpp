#ifndef TRASQUE__BLOCK_HPP_
#define TRASQUE__BLOCK_HPP_

#include <memory>
#include <string_view>
#include <vector>

#include "trasque/base.hpp"

namespace trasque {

/**
 * @brief A zone bounded by the polygon through its corners, in order, closed from the last
 * corner back to the first.
 *
 * The raster holds the outline (one cell per edge and row) and, in every row, the span between
 * the first two outline cells from the left; a concave block gets only its leftmost span filled
 * in a row that its outline crosses more than twice.
 */
class Block final : public Base
{
public:
  Block(const std::vector<NonIdealPlanePoint> & points, Type type, std::string_view id);

  const std::vector<NonIdealPlanePoint> & getFeaturePoints() const override;
  bool isIntersecting(const NonIdealPlanePoint & point) override;
  using Base::isIntersecting;

  /**
   * A block without corners, or whose extent has no width or no height, gives a 0 x 0 raster and
   * one WARN record "Block id <id> can not create a valid cache" per resolution asked for.
   */
  std::shared_ptr<semantic_map::Gridmap<bool>> getGrid(double resolution) override;

  const std::vector<NonIdealPlanePoint> feature_points;
  /// The last raster made; empty until the first getGrid.
  std::shared_ptr<semantic_map::Gridmap<bool>> grid_cache;

private:
  std::shared_ptr<semantic_map::Gridmap<bool>> rasterise(double resolution) const;
};

}  // namespace trasque

#endif  // TRASQUE__BLOCK_HPP_
