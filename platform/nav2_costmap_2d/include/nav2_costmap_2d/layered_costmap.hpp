// The master costmap and the ordered layers that fill it.
#ifndef NAV2_COSTMAP_2D__LAYERED_COSTMAP_HPP_
#define NAV2_COSTMAP_2D__LAYERED_COSTMAP_HPP_

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"

namespace nav2_costmap_2d {
class Layer;
}  // namespace nav2_costmap_2d

#include "nav2_costmap_2d/layer.hpp"

namespace nav2_costmap_2d {

/**
 * @brief Holds the master ("combined") costmap and the plug-in layers and filters that fill it.
 *
 * Plug-ins write into the combined costmap directly; when filters exist, plug-ins write into a
 * primary costmap whose updated window is copied to the combined one before the filters run.
 * The combined costmap's mutex guards the layer lists and every update.
 */
class LayeredCostmap
{
public:
  /**
   * @param global_frame Frame of the costmap.
   * @param rolling_window Whether the costmap follows the robot.
   * @param track_unknown Default cell value NO_INFORMATION (true) or FREE_SPACE (false).
   */
  LayeredCostmap(std::string global_frame, bool rolling_window, bool track_unknown);

  ~LayeredCostmap();

  /**
   * @brief One update cycle at robot pose (robot_x, robot_y, robot_yaw) in the global frame:
   * move a rolling window, collect the layers' bounds, reset that window of the master grid and
   * let every layer write its costs. Without plug-ins and filters nothing is updated and the
   * costmap stays uninitialised.
   */
  void updateMap(double robot_x, double robot_y, double robot_yaw);

  std::string getGlobalFrameID() const { return global_frame_; }

  /** @brief Resize both grids and let every layer follow (matchSize()). */
  void resizeMap(
      unsigned int size_x,
      unsigned int size_y,
      double resolution,
      double origin_x,
      double origin_y,
      bool size_locked = false);

  /** @brief The world-frame bounds collected in the last update cycle. */
  void getUpdatedBounds(double & minx, double & miny, double & maxx, double & maxy)
  {
    minx = minx_;
    miny = miny_;
    maxx = maxx_;
    maxy = maxy_;
  }

  /** @brief Whether every enabled plug-in and filter is current. */
  bool isCurrent();

  /** @brief The combined (master) costmap. */
  Costmap2D * getCostmap() { return &combined_costmap_; }

  bool isRolling() { return rolling_window_; }

  bool isTrackingUnknown() { return combined_costmap_.getDefaultValue() == NO_INFORMATION; }

  std::vector<std::shared_ptr<Layer>> * getPlugins() { return &plugins_; }

  std::vector<std::shared_ptr<Layer>> * getFilters() { return &filters_; }

  /** @brief Append a plug-in (locks the master mutex). */
  void addPlugin(std::shared_ptr<Layer> plugin);

  /** @brief Append a filter (locks the master mutex). */
  void addFilter(std::shared_ptr<Layer> filter);

  bool isSizeLocked() { return size_locked_; }

  /** @brief Cell window [x0, xn) x [y0, yn) written by the last successful update cycle. */
  void getBounds(unsigned int * x0, unsigned int * xn, unsigned int * y0, unsigned int * yn)
  {
    *x0 = bx0_;
    *xn = bxn_;
    *y0 = by0_;
    *yn = byn_;
  }

  /** @brief Whether an update cycle has written the master grid. */
  bool isInitialized() { return initialized_; }

  /** @brief Set the padded footprint, update the radii and notify the layers. */
  void setFootprint(const std::vector<geometry_msgs::msg::Point> & footprint_spec);

  const std::vector<geometry_msgs::msg::Point> & getFootprint()
  {
    return *std::atomic_load(&footprint_);
  }

  double getCircumscribedRadius() { return circumscribed_radius_.load(); }

  double getInscribedRadius() { return inscribed_radius_.load(); }

  /** @brief Whether the robot position lies outside the master grid. */
  bool isOutofBounds(double robot_x, double robot_y);

private:
  Costmap2D primary_costmap_, combined_costmap_;
  std::string global_frame_;

  bool rolling_window_;

  bool current_;
  double minx_, miny_, maxx_, maxy_;
  unsigned int bx0_, bxn_, by0_, byn_;

  std::vector<std::shared_ptr<Layer>> plugins_;
  std::vector<std::shared_ptr<Layer>> filters_;

  std::atomic<bool> initialized_;
  bool size_locked_;
  std::atomic<double> circumscribed_radius_, inscribed_radius_;
  std::shared_ptr<std::vector<geometry_msgs::msg::Point>> footprint_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__LAYERED_COSTMAP_HPP_
