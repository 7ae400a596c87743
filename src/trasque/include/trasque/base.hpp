#ifndef TRASQUE__BASE_HPP_
#define TRASQUE__BASE_HPP_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brindlex_nav2_semanticmap/gridmap.hpp"
#include "trasque/non_ideal_plane_point.hpp"
#include "trasque/types.hpp"

namespace trasque {

/**
 * @brief A zone of the stored room map: a list of feature points (discs in world coordinates,
 * metres) with a kind and a shape.
 *
 * Zones are created with std::make_shared of a concrete class and held as std::shared_ptr<Base>;
 * the destructor is protected, so a zone cannot be deleted through a Base pointer.
 *
 * A zone keeps the last raster it made. It takes no lock: one thread at a time may use a zone.
 */
class Base
{
public:
  Base(Type type, DescType desctype, std::string_view id);
  Base(const Base &) = delete;
  Base & operator=(const Base &) = delete;

  /// The zone's discs (circle list) or corners in outline order (block).
  virtual const std::vector<NonIdealPlanePoint> & getFeaturePoints() const = 0;

  /// True when the given disc overlaps one of the zone's feature points (see NonIdealPlanePoint).
  virtual bool isIntersecting(const NonIdealPlanePoint & point) = 0;

  /**
   * @brief The zone as a boolean raster at @p resolution (metres per cell, positive and finite).
   *
   * The raster covers the zone's extent plus about one cell on each side. The same raster object
   * is handed out again while the resolution stays the same, so callers only read it. A zone that
   * cannot be rasterised gives a raster of 0 x 0 cells.
   */
  virtual std::shared_ptr<semantic_map::Gridmap<bool>> getGrid(double resolution) = 0;

  /// True when this zone's isIntersecting holds for one of the other zone's feature points.
  bool isIntersecting(const Base & other);

  const Type type;
  const DescType desctype;
  const std::string id;

protected:
  ~Base() = default;
};

}  // namespace trasque

#endif  // TRASQUE__BASE_HPP_
