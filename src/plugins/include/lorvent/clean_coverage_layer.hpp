#ifndef LORVENT__CLEAN_COVERAGE_LAYER_HPP_
#define LORVENT__CLEAN_COVERAGE_LAYER_HPP_

#include <atomic>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "brindlex_nav2_protocol/srv/get_covered_points.hpp"
#include "brindlex_nav2_protocol/srv/trigger_clean_coverage.hpp"
#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "fennick/simplify_path.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "rclcpp/rclcpp.hpp"

namespace semantic_map {

/**
 * @brief Traces where the robot has cleaned and marks those cells COVERED_AREA in the grid.
 *
 * While tracing is on (TriggerCleanCoverage with enable true), every update cycle records the cell
 * a short distance behind the robot as the next point of a path, straightens the newer parts of the
 * path (Douglas-Peucker, a local and a global pass), draws the path as a polyline as wide as the
 * cleaning width into a raster of the grid's size, and rewrites COVERED_AREA on every cell of the
 * cycle's window: set on the line, cleared off it. GetCoveredPoints hands the path out as poses.
 *
 * Its own Costmap2D serves only for geometry (it follows the grid's size, resolution and origin,
 * also as a rolling window moves, so a path cell is a grid cell) and for its recursive mutex, the costmap mutex, which guards the
 * path, the two straightening indices, the raster and the geometry. Its costs are never written.
 *
 * Threads: updateBounds(), updateMaps(), matchSize() and reset() run under the layered map's outer
 * mutex (map-update thread; onInitialize() calls matchSize() on the configuring thread). The two
 * service callbacks run on the Navigation2 base's executor thread and take only the costmap mutex.
 *
 * Lock order: layered map's outer mutex -> costmap mutex (getMutex()) -> grid's mutex.
 */
class CleanCoverageLayer final : public BrindlexLayer, public nav2_costmap_2d::Costmap2D
{
public:
  using GridT = Semanticmap<MapTypeAndHeight>;
  using TriggerCleanCoverage = brindlex_nav2_protocol::srv::TriggerCleanCoverage;
  using GetCoveredPoints = brindlex_nav2_protocol::srv::GetCoveredPoints;

  /// Raster value of a cell on the drawn path; getMatValue() reports it for every drawn pixel.
  static constexpr unsigned char kPathValue = 253;

  CleanCoverageLayer();
  ~CleanCoverageLayer() override;

  /// Does nothing: the services live as long as the layer.
  void deactivate() override;
  /// Does nothing.
  void activate() override;
  /// Marks the layer not current; path and raster stay. Outer mutex held.
  void reset() override;
  /// False: clearing leaves the covered area alone.
  bool isClearable() override;
  /// Does nothing; returns false.
  bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) override;
  /**
   * @brief Records the robot pose (metres, radians, global frame) and widens the bounds (metres)
   * to the path's bounding cells plus bounds_margin, or to the robot's cell plus the margin while
   * the path is empty. Runs whether or not tracing is on. First follows a move of the grid's
   * origin (followRollingWindow()). Outer mutex held; takes the costmap mutex, then the grid's.
   */
  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override;
  /**
   * @brief While enabled and tracing: extends and straightens the path, redraws the raster and,
   * from the fifth path point on, rewrites COVERED_AREA in the cell window
   * [min_i, max_i) x [min_j, max_j) of @p grid. A null grid still gets the path and raster
   * updated. @p master is not used. Outer mutex held; takes the costmap mutex, then the grid's.
   */
  void updateMaps(
      GridT * grid, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i, int max_j)
      override;
  /// Gives the layer's costmap the grid's size, resolution and origin. With another resolution or
  /// origin the path is carried over by world position (carryPathOver()); otherwise it keeps its
  /// cells. Takes the costmap mutex, then the grid's.
  void matchSize() override;
  /**
   * @brief Declares and reads the parameters, sizes the costmap like the grid and creates the
   * trigger and covered-points services in the layer's callback group.
   * @throws std::runtime_error "Failed to lock node" when the node is gone.
   * @throws std::invalid_argument for a NaN "distance_threshold" (logged at ERROR).
   */
  void onInitialize(bool & enabled_flag) override;

  /**
   * @brief Follows a rolling window: when the grid's origin has moved (by whole cells), gives the
   * layer's costmap the new origin and moves the path with it, so that every point keeps its
   * world position. Points that leave the window stay in the path, outside the costmap; the
   * raster clips them. Costmap mutex held; takes the grid's.
   */
  void followRollingWindow();
  /**
   * @brief Moves every path point to the cell of @p resolution and origin (m) that holds the
   * centre of its present cell; points farther than 2^29 cells stay at that distance. Does
   * nothing for the costmap's own geometry, or when either geometry has no positive resolution
   * or a non-finite origin. The costmap's geometry is left to the caller. Costmap mutex held.
   */
  void carryPathOver(double resolution, double origin_x, double origin_y);
  /// World centre (m) of @p cell of the layer's costmap, also for a cell outside it.
  void cellCentre(const cv::Point & cell, double & wx, double & wy) const;
  /// Empties the path and sets both straightening indices back to 1. Costmap mutex held.
  void resetCleanPath();
  /**
   * @brief The cell of the point @p offset metres behind the robot along its heading (the robot's
   * own cell for 0). False, and @p cell unchanged, when that point lies outside the layer's
   * costmap or is not a finite point. Costmap mutex held.
   */
  bool robotOffsetPoint(double offset, cv::Point & cell);
  /// Appends the cell behind the robot unless it repeats one of the last three points. Costmap
  /// mutex held.
  void addRobotPoseToPath();
  /**
   * @brief Once the path has grown by @p length metres past @p index (never for a NaN length),
   * simplifies it from point index - 1 to its end with tolerance @p epsilon (cells), keeping the
   * segment's last point should the thinning drop it. When that drops any point, the simplified
   * points follow the first index points (so the point where the segment starts is recorded
   * twice); otherwise the path stays. Either way @p index moves past the end. Costmap mutex held.
   */
  void pathStraightening(const double & length, unsigned int & index, const double & epsilon);
  /**
   * @brief Caps both straightening indices at the path's size: a straightening that shortened the
   * path leaves the other pass to walk on from the new end, not from beyond it. Costmap mutex held.
   */
  void keepIndicesOnPath();
  /// Draws clean_path into clean_mat with cv::polylines and lineThickness(). Only a thick line
  /// whose path, band and raster span 2^15 cells or more, beyond what OpenCV's fixed-point
  /// clipping computes exactly, is drawn segment by segment, each clipped near the raster first.
  /// Costmap mutex held.
  void drawCleanPath();
  /// kPathValue when the raster pixel at row @p y, column @p x is drawn, else 0. No bounds check;
  /// costmap mutex held.
  unsigned char getMatValue(unsigned int x, unsigned int y);
  /**
   * @brief Line thickness in cells for the cleaning width at the costmap's resolution: the integer
   * part of coverage_width / resolution, kept between 1 and OpenCV's largest thickness so that a
   * zero, negative, sub-cell or non-finite width still draws a one-cell line. Costmap mutex held.
   */
  int lineThickness() const;

  /// Service callback: switches tracing on or off (off also forgets the path); always succeeds.
  void triggerCallBack(
      std::shared_ptr<TriggerCleanCoverage::Request> request,
      std::shared_ptr<TriggerCleanCoverage::Response> response);
  /// Service callback: the path as poses at the centres of its cells (global frame), in path
  /// order, when the request's enable is true; an empty list otherwise.
  void getCoveredPointsCallback(
      std::shared_ptr<GetCoveredPoints::Request> request,
      std::shared_ptr<GetCoveredPoints::Response> response);

  /// Tracing is on. Written only by the trigger service.
  std::atomic<bool> active{false};
  /// Cleaning width (m).
  double coverage_width{0.0};
  /// Cleaning length (m); read by no operation.
  double coverage_length{0.0};
  std::string trigger_srv_name;
  std::string get_covered_points_srv_name;
  /// Robot pose of the last updateBounds() (m, m, rad, global frame).
  double robot_x{0.0};
  double robot_y{0.0};
  double robot_yaw{0.0};
  std::shared_ptr<rclcpp::Service<TriggerCleanCoverage>> trigger_service;
  std::shared_ptr<rclcpp::Service<GetCoveredPoints>> covered_points_service;
  /// Raster of the drawn path: 8-bit, one channel, rows = size_y, columns = size_x.
  cv::Mat clean_mat;
  /// The traced path in cells (x, y) of the layer's costmap, oldest first; on a rolling window,
  /// cells that have left the costmap lie outside it.
  std::vector<cv::Point> clean_path;
  /// First path index the local straightening has not covered yet (at least 1).
  uint32_t local_index{1};
  /// First path index the global straightening has not covered yet (at least 1).
  uint32_t global_index{1};
  /// Path length (m) past local_index that starts a local straightening.
  double local_optimize_length{5.0};
  /// Path length (m) past global_index that starts a global straightening.
  double global_optimize_length{50.0};
  /// Douglas-Peucker tolerance of the local pass (cells).
  double local_optimize_epsilon{3.0};
  /// Douglas-Peucker tolerance of the global pass (cells).
  double global_optimize_epsilon{3.0};
  /// Closest spacing (m) of straightened points.
  double distance_threshold{0.25};
  /// Margin (m) around the path in updateBounds(); fixed.
  double bounds_margin{3.0};
  /// How far behind the robot (m) the traced point lies.
  double clean_path_to_robot_offset{0.2};
  SimplifyPath simplify_path;
};

}  // namespace semantic_map

#endif  // LORVENT__CLEAN_COVERAGE_LAYER_HPP_
