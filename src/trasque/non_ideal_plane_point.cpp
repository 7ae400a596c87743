#include "trasque/non_ideal_plane_point.hpp"

#include <cmath>

namespace trasque {

bool NonIdealPlanePoint::isIntersecting(const NonIdealPlanePoint & other) const
{
  // Written as !(r >= 0) so that a NaN radius is rejected too.
  if (!(r >= 0.0) || !(other.r >= 0.0)) {
    return false;
  }
  return std::hypot(x - other.x, y - other.y) < r + other.r;
}

}  // namespace trasque
