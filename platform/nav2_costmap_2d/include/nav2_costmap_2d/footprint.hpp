// Robot footprint helpers: conversions, padding, placement and parsing.
#ifndef NAV2_COSTMAP_2D__FOOTPRINT_HPP_
#define NAV2_COSTMAP_2D__FOOTPRINT_HPP_

#include <string>
#include <utility>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "geometry_msgs/msg/point32.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"

namespace nav2_costmap_2d {

/**
 * @brief Smallest and largest distance from the footprint's origin to its vertices and edges
 * (the inscribed and circumscribed radii). (DBL_MAX, 0) for an empty footprint.
 */
std::pair<double, double> calculateMinAndMaxDistances(
    const std::vector<geometry_msgs::msg::Point> & footprint);

geometry_msgs::msg::Point32 toPoint32(geometry_msgs::msg::Point pt);

geometry_msgs::msg::Point toPoint(geometry_msgs::msg::Point32 pt);

geometry_msgs::msg::Polygon toPolygon(std::vector<geometry_msgs::msg::Point> pts);

std::vector<geometry_msgs::msg::Point> toPointVector(
    geometry_msgs::msg::Polygon::SharedPtr polygon);

/**
 * @brief Place footprint_spec (robot frame) at pose (x, y, theta); replaces the content of
 * oriented_footprint.
 */
void transformFootprint(
    double x,
    double y,
    double theta,
    const std::vector<geometry_msgs::msg::Point> & footprint_spec,
    std::vector<geometry_msgs::msg::Point> & oriented_footprint);

/**
 * @brief Place footprint_spec at pose (x, y, theta) into oriented_footprint.polygon (its points
 * are replaced); the header is left to the caller.
 */
void transformFootprint(
    double x,
    double y,
    double theta,
    const std::vector<geometry_msgs::msg::Point> & footprint_spec,
    geometry_msgs::msg::PolygonStamped & oriented_footprint);

/** @brief Move every coordinate away from zero by padding (a zero coordinate stays). */
void padFootprint(std::vector<geometry_msgs::msg::Point> & footprint, double padding);

/** @brief A 16-point circle of the given radius. */
std::vector<geometry_msgs::msg::Point> makeFootprintFromRadius(double radius);

/**
 * @brief Parse "[[x, y], [x, y], ...]" (at least three pairs) into footprint.
 * @return False, logging the reason, on a malformed string.
 */
bool makeFootprintFromString(
    const std::string & footprint_string, std::vector<geometry_msgs::msg::Point> & footprint);

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__FOOTPRINT_HPP_
