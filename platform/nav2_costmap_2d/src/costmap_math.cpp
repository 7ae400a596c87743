#include "nav2_costmap_2d/costmap_math.hpp"

#include <vector>

double distanceToLine(double pX, double pY, double x0, double y0, double x1, double y1)
{
  // Project the point onto the segment and clamp the projection to its end points.
  const double dx = x1 - x0;
  const double dy = y1 - y0;
  const double t = ((pX - x0) * dx + (pY - y0) * dy) / (dx * dx + dy * dy);

  double nearest_x;
  double nearest_y;
  if (t < 0) {
    nearest_x = x0;
    nearest_y = y0;
  } else if (t > 1) {
    nearest_x = x1;
    nearest_y = y1;
  } else {
    nearest_x = x0 + t * dx;
    nearest_y = y0 + t * dy;
  }
  return distance(pX, pY, nearest_x, nearest_y);
}

bool intersects(std::vector<geometry_msgs::msg::Point> & polygon, float testx, float testy)
{
  bool inside = false;
  const size_t n = polygon.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const auto & a = polygon[i];
    const auto & b = polygon[j];
    if (((a.y > testy) != (b.y > testy)) &&
        (testx < (b.x - a.x) * (testy - a.y) / (b.y - a.y) + a.x)) {
      inside = !inside;
    }
  }
  return inside;
}
