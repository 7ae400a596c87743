#include "nav2_costmap_2d/footprint.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "nav2_costmap_2d/array_parser.hpp"
#include "nav2_costmap_2d/costmap_math.hpp"
#include "rclcpp/logging.hpp"

namespace nav2_costmap_2d {

std::pair<double, double> calculateMinAndMaxDistances(
    const std::vector<geometry_msgs::msg::Point> & footprint)
{
  double min_dist = std::numeric_limits<double>::max();
  double max_dist = 0.0;
  if (footprint.empty()) {
    return {min_dist, max_dist};
  }
  for (size_t i = 0; i < footprint.size(); ++i) {
    const auto & a = footprint[i];
    const auto & b = footprint[(i + 1) % footprint.size()];
    const double vertex = hypot(a.x, a.y);
    const double edge = distanceToLine(0.0, 0.0, a.x, a.y, b.x, b.y);
    min_dist = std::min(min_dist, std::min(vertex, edge));
    max_dist = std::max(max_dist, std::max(vertex, edge));
  }
  return {min_dist, max_dist};
}

geometry_msgs::msg::Point32 toPoint32(geometry_msgs::msg::Point pt)
{
  geometry_msgs::msg::Point32 out;
  out.x = static_cast<float>(pt.x);
  out.y = static_cast<float>(pt.y);
  out.z = static_cast<float>(pt.z);
  return out;
}

geometry_msgs::msg::Point toPoint(geometry_msgs::msg::Point32 pt)
{
  geometry_msgs::msg::Point out;
  out.x = pt.x;
  out.y = pt.y;
  out.z = pt.z;
  return out;
}

geometry_msgs::msg::Polygon toPolygon(std::vector<geometry_msgs::msg::Point> pts)
{
  geometry_msgs::msg::Polygon polygon;
  for (const auto & pt : pts) {
    polygon.points.push_back(toPoint32(pt));
  }
  return polygon;
}

std::vector<geometry_msgs::msg::Point> toPointVector(geometry_msgs::msg::Polygon::SharedPtr polygon)
{
  std::vector<geometry_msgs::msg::Point> pts;
  for (const auto & pt : polygon->points) {
    pts.push_back(toPoint(pt));
  }
  return pts;
}

void transformFootprint(
    double x,
    double y,
    double theta,
    const std::vector<geometry_msgs::msg::Point> & footprint_spec,
    std::vector<geometry_msgs::msg::Point> & oriented_footprint)
{
  oriented_footprint.clear();
  const double cos_th = cos(theta);
  const double sin_th = sin(theta);
  for (const auto & pt : footprint_spec) {
    geometry_msgs::msg::Point placed;
    placed.x = x + (pt.x * cos_th - pt.y * sin_th);
    placed.y = y + (pt.x * sin_th + pt.y * cos_th);
    oriented_footprint.push_back(placed);
  }
}

void transformFootprint(
    double x,
    double y,
    double theta,
    const std::vector<geometry_msgs::msg::Point> & footprint_spec,
    geometry_msgs::msg::PolygonStamped & oriented_footprint)
{
  oriented_footprint.polygon.points.clear();
  const double cos_th = cos(theta);
  const double sin_th = sin(theta);
  for (const auto & pt : footprint_spec) {
    geometry_msgs::msg::Point32 placed;
    placed.x = static_cast<float>(x + (pt.x * cos_th - pt.y * sin_th));
    placed.y = static_cast<float>(y + (pt.x * sin_th + pt.y * cos_th));
    oriented_footprint.polygon.points.push_back(placed);
  }
}

void padFootprint(std::vector<geometry_msgs::msg::Point> & footprint, double padding)
{
  for (auto & pt : footprint) {
    pt.x += sign0(pt.x) * padding;
    pt.y += sign0(pt.y) * padding;
  }
}

std::vector<geometry_msgs::msg::Point> makeFootprintFromRadius(double radius)
{
  constexpr int kPoints = 16;
  std::vector<geometry_msgs::msg::Point> points;
  points.reserve(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const double angle = i * 2 * M_PI / kPoints;
    geometry_msgs::msg::Point pt;
    pt.x = cos(angle) * radius;
    pt.y = sin(angle) * radius;
    points.push_back(pt);
  }
  return points;
}

bool makeFootprintFromString(
    const std::string & footprint_string, std::vector<geometry_msgs::msg::Point> & footprint)
{
  const auto logger = rclcpp::get_logger("nav2_costmap_2d");
  std::string error;
  const std::vector<std::vector<float>> pairs = parseVVF(footprint_string, error);

  if (!error.empty()) {
    RCLCPP_ERROR(logger, "Error parsing footprint parameter: '%s'", error.c_str());
    RCLCPP_ERROR(logger, "  Footprint string was '%s'.", footprint_string.c_str());
    return false;
  }
  if (pairs.size() < 3) {
    RCLCPP_ERROR(
        logger,
        "You must specify at least three points for the robot footprint, reverting to previous "
        "footprint.");
    return false;
  }

  footprint.reserve(pairs.size());
  for (const auto & pair : pairs) {
    if (pair.size() != 2) {
      RCLCPP_ERROR(
          logger,
          "Points in the footprint string must be pairs of numbers. Found a point with %d "
          "numbers.",
          static_cast<int>(pair.size()));
      return false;
    }
    geometry_msgs::msg::Point pt;
    pt.x = pair[0];
    pt.y = pair[1];
    pt.z = 0.0;
    footprint.push_back(pt);
  }
  return true;
}

}  // namespace nav2_costmap_2d
