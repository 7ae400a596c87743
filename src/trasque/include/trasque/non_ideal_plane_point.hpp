#ifndef TRASQUE__NON_IDEAL_PLANE_POINT_HPP_
#define TRASQUE__NON_IDEAL_PLANE_POINT_HPP_

namespace trasque {

/**
 * @brief A feature point of a zone: a disc in world coordinates (metres, stored-map frame).
 *
 * The corners of a block are discs of radius 0.
 */
struct NonIdealPlanePoint
{
  double x{0.0};  ///< world x of the centre
  double y{0.0};  ///< world y of the centre
  double r{0.0};  ///< radius, >= 0

  /**
   * @brief True when the two discs overlap: the distance between the centres is strictly below
   * the sum of the radii. A disc whose radius is negative or not a number overlaps nothing, and
   * two discs of radius 0 never overlap.
   */
  bool isIntersecting(const NonIdealPlanePoint & other) const;
};

}  // namespace trasque

#endif  // TRASQUE__NON_IDEAL_PLANE_POINT_HPP_
