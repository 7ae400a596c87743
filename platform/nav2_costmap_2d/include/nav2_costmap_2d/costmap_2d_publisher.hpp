// Publishes a Costmap2D as an OccupancyGrid, grid updates and the raw costmap.
#ifndef NAV2_COSTMAP_2D__COSTMAP_2D_PUBLISHER_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_2D_PUBLISHER_HPP_

#include <algorithm>
#include <memory>
#include <string>

#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav2_msgs/msg/costmap.hpp"
#include "nav2_msgs/srv/get_costmap.hpp"
#include "nav2_util/lifecycle_node.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"

namespace nav2_costmap_2d {

/**
 * @brief Publishes a costmap on "<topic>" (full OccupancyGrid), "<topic>_updates" (changed
 * window) and "<topic>_raw" (nav2_msgs Costmap), all keep-last 1, reliable, transient local, and
 * serves "get_costmap". Costs map to occupancy values 0 -> 0, 1..252 -> 1..98, 253 -> 99,
 * 254 -> 100, 255 -> -1.
 *
 * updateBounds() and publishCostmap() are called from one thread (the map update loop).
 */
class Costmap2DPublisher
{
public:
  Costmap2DPublisher(
      const nav2_util::LifecycleNode::WeakPtr & parent,
      Costmap2D * costmap,
      std::string global_frame,
      std::string topic_name,
      bool always_send_full_costmap = false);

  ~Costmap2DPublisher();

  void on_activate()
  {
    costmap_pub_->on_activate();
    costmap_update_pub_->on_activate();
    costmap_raw_pub_->on_activate();
  }

  void on_deactivate()
  {
    costmap_pub_->on_deactivate();
    costmap_update_pub_->on_deactivate();
    costmap_raw_pub_->on_deactivate();
  }

  /**
   * @brief Publish the costmap: the full grid when always sending full grids or when the
   * resolution, size or origin changed since the last full grid (only if the grid topic has
   * subscribers); otherwise the window collected by updateBounds(), if not empty and the update
   * topic has subscribers. The window is then emptied.
   */
  void publishCostmap();

  bool active() { return active_; }

  /** @brief Grow the cell window [x0, xn) x [y0, yn) to publish in the next update. */
  void updateBounds(unsigned int x0, unsigned int xn, unsigned int y0, unsigned int yn)
  {
    x0_ = std::min(x0, x0_);
    xn_ = std::max(xn, xn_);
    y0_ = std::min(y0, y0_);
    yn_ = std::max(yn, yn_);
  }

private:
  /** @brief Fill grid_ from the costmap (costmap mutex held). */
  void prepareGrid();

  /** @brief Fill costmap_raw_ from the costmap (costmap mutex held). */
  void prepareCostmap();

  void costmap_service_callback(
      const std::shared_ptr<rmw_request_id_t> request_header,
      const std::shared_ptr<nav2_msgs::srv::GetCostmap::Request> request,
      const std::shared_ptr<nav2_msgs::srv::GetCostmap::Response> response);

  /** @brief The occupancy value of every cost. */
  static const char * costTranslationTable();

  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Logger logger_{rclcpp::get_logger("nav2_costmap_2d")};

  Costmap2D * costmap_;
  std::string global_frame_;
  std::string topic_name_;
  unsigned int x0_, xn_, y0_, yn_;
  double saved_origin_x_{0.0};
  double saved_origin_y_{0.0};
  bool active_;
  bool always_send_full_costmap_;

  rclcpp_lifecycle::LifecyclePublisher<nav_msgs::msg::OccupancyGrid>::SharedPtr costmap_pub_;
  rclcpp_lifecycle::LifecyclePublisher<map_msgs::msg::OccupancyGridUpdate>::SharedPtr
      costmap_update_pub_;
  rclcpp_lifecycle::LifecyclePublisher<nav2_msgs::msg::Costmap>::SharedPtr costmap_raw_pub_;

  rclcpp::Service<nav2_msgs::srv::GetCostmap>::SharedPtr costmap_service_;

  // Geometry of the last full grid; zero before the first one, so that it is always full.
  float grid_resolution{0.0f};
  unsigned int grid_width{0}, grid_height{0};
  std::unique_ptr<nav_msgs::msg::OccupancyGrid> grid_;
  std::unique_ptr<nav2_msgs::msg::Costmap> costmap_raw_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COSTMAP_2D_PUBLISHER_HPP_
