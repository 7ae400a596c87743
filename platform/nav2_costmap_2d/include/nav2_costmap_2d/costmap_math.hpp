// Small geometry helpers shared by the footprint functions.
#ifndef NAV2_COSTMAP_2D__COSTMAP_MATH_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_MATH_HPP_

#include <math.h>

#include <algorithm>
#include <vector>

#include "geometry_msgs/msg/point.hpp"

/** @brief -1 for a negative value, 1 otherwise. */
inline double sign(double x) { return x < 0.0 ? -1.0 : 1.0; }

/** @brief -1, 0 or 1: the sign of x, with 0 for 0. */
inline double sign0(double x) { return x < 0.0 ? -1.0 : (x > 0.0 ? 1.0 : 0.0); }

/** @brief Euclidean distance between two points. */
inline double distance(double x0, double y0, double x1, double y1)
{
  return hypot(x1 - x0, y1 - y0);
}

/** @brief Distance from (pX, pY) to the segment (x0, y0)-(x1, y1). */
double distanceToLine(double pX, double pY, double x0, double y0, double x1, double y1);

/** @brief Whether the point lies inside the polygon (even-odd rule). */
bool intersects(std::vector<geometry_msgs::msg::Point> & polygon, float testx, float testy);

#endif  // NAV2_COSTMAP_2D__COSTMAP_MATH_HPP_
