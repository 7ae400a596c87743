#ifndef LORVENT__MAP_PUBLISH_BASE_LAYER_HPP_
#define LORVENT__MAP_PUBLISH_BASE_LAYER_HPP_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_publisher.hpp"

namespace semantic_map {

/**
 * @brief A layer that publishes the semantic grid as an occupancy grid on "topic_name" and the
 * cells that changed since the last message on "topic_name" + "_updates".
 *
 * It never writes cells. Every cycle it merges the cycle's cell window and the master costmap
 * cells that the cycle recomputed into its dirty window; at most once per publish period it sends
 * the whole grid (first message, after a resize or a reset, after the grid's origin moved since the
 * last full grid, or always when "always_send_full_map" is set) or else the dirty window. When
 * layers that write cells follow it in the list, the window of a cycle that published stays dirty
 * for the next slot. A message is built only when its topic has a subscriber. While the grid's
 * size, resolution or origin differ from the master costmap's (a grid re-size that failed), it
 * publishes nothing, and sends the whole grid once they agree again. Subclasses translate one
 * cell (type word, height word, master cost) into an occupancy value.
 *
 * Every operation but onInitialize() runs under the layered map's outer mutex; updateMaps() takes
 * the grid's mutex inside it for the cell loop and the publish. The master costmap's cells are
 * read under its mutex, which the update cycle holds around the call (lock order: master costmap
 * mutex, outer mutex, grid mutex).
 */
class MapPublishBaseLayer : public BrindlexLayer
{
public:
  using GridT = Semanticmap<MapTypeAndHeight>;

  MapPublishBaseLayer();
  ~MapPublishBaseLayer() override;

  void deactivate() override;
  void activate() override;
  void reset() override;
  bool isClearable() override;
  bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) override;
  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override;
  void updateMaps(
      GridT * grid, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i, int max_j)
      override;
  void matchSize() override;
  void onInitialize(bool & enabled_flag) override;

  /// Occupancy value (-1, 0..100) of one cell from its type word, height word and master cost.
  virtual char translationTypeToChar(
      const SemanticTypeBase<unsigned int> & type,
      const SemanticHeightBase<float> & height,
      unsigned char cost) = 0;

  /**
   * @brief The publish period that "map_publish_frequency" @p frequency (Hz) gives: 1 / frequency,
   * or zero (never publish) when that is not a positive finite number of seconds. Periods beyond
   * the range of a Duration saturate.
   */
  static rclcpp::Duration periodFromFrequency(double frequency);

  std::string topic_name;
  rclcpp::Duration publish_period{1, 0};
  /// Dirty window in grid cells: [window_min_i, window_max_i) x [window_min_j, window_max_j).
  int32_t window_min_i;
  int32_t window_max_i;
  int32_t window_min_j;
  int32_t window_max_j;
  bool send_full_map{true};
  bool always_send_full_map{false};
  std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<nav_msgs::msg::OccupancyGrid>>
      grid_publisher;
  std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<map_msgs::msg::OccupancyGridUpdate>>
      update_publisher;
  /// When the last publish slot was taken.
  rclcpp::Time last_publish_time{0, 0, RCL_ROS_TIME};

protected:
  /**
   * @brief Writes the occupancy values of @p count consecutive cells of one grid row into @p out.
   * @p costs holds the master costs of the same cells, or is null when there is no master (cost
   * 255). The default calls translationTypeToChar() once per cell; subclasses may replace it by a
   * loop that the compiler can inline, with the same values.
   */
  virtual void translateCells(
      const SemanticTypeBase<unsigned int> * types,
      const float * heights,
      const unsigned char * costs,
      int8_t * out,
      std::size_t count);

private:
  // Both build from the grid with its mutex held by the caller.
  std::unique_ptr<nav_msgs::msg::OccupancyGrid> buildFullGrid(
      const GridT & grid, nav2_costmap_2d::Costmap2D * master);
  std::unique_ptr<map_msgs::msg::OccupancyGridUpdate> buildUpdate(
      const GridT & grid, nav2_costmap_2d::Costmap2D * master);
  // Fills width x height values from cell (x0, y0) on, row by row.
  void fillCells(
      const GridT & grid,
      nav2_costmap_2d::Costmap2D * master,
      uint32_t x0,
      uint32_t y0,
      uint32_t width,
      uint32_t height,
      int8_t * out);
  // Whether the grid no longer has the geometry of the last full grid sent.
  bool geometryChanged(const GridT & grid) const;
  // Whether the grid has the master costmap's geometry; if not, says so in a throttled WARN.
  // Takes the grid's mutex.
  bool sameGeometryAsMaster(GridT & grid, const nav2_costmap_2d::Costmap2D & master);
  // Widens the dirty window by the cells [min_i, max_i) x [min_j, max_j).
  void mergeWindow(int min_i, int min_j, int max_i, int max_j);
  // Whether a layer listed after this one may still write cells in the current cycle.
  bool cellsMayChangeAfterThisLayer() const;

  // Geometry of the last full grid sent: updates carry no origin, so a subscriber places them
  // with this one.
  bool full_map_sent{false};
  double sent_origin_x{0.0};
  double sent_origin_y{0.0};
  double sent_resolution{0.0};
  uint32_t sent_size_x{0};
  uint32_t sent_size_y{0};
};

}  // namespace semantic_map

#endif  // LORVENT__MAP_PUBLISH_BASE_LAYER_HPP_
