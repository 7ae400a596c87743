// Base class of the costmap plug-in layers.
#ifndef NAV2_COSTMAP_2D__LAYER_HPP_
#define NAV2_COSTMAP_2D__LAYER_HPP_

#include <string>
#include <unordered_set>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav2_costmap_2d/layered_costmap.hpp"
#include "nav2_util/lifecycle_node.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/buffer.h"

namespace nav2_costmap_2d {
class LayeredCostmap;

/**
 * @brief A layer of a LayeredCostmap. Each update cycle first asks every layer for the area it
 * changed (updateBounds), then lets every layer write that area into the master grid
 * (updateCosts). Both run with the master grid's mutex held.
 */
class Layer
{
public:
  Layer();
  virtual ~Layer() {}

  /**
   * @brief Attach the layer to its costmap and node, then call onInitialize().
   * @param name The layer's name; its parameters are "<name>.<param>" on the node.
   */
  void initialize(
      LayeredCostmap * parent,
      std::string name,
      tf2_ros::Buffer * tf,
      const nav2_util::LifecycleNode::WeakPtr & node,
      rclcpp::CallbackGroup::SharedPtr callback_group);

  /** @brief Stop the layer's inputs (costmap stopped). */
  virtual void deactivate() {}

  /** @brief Restart the layer's inputs (costmap started). */
  virtual void activate() {}

  /** @brief Forget everything the layer holds. */
  virtual void reset() = 0;

  /** @brief Whether the clear services may clear this layer (it is then a CostmapLayer). */
  virtual bool isClearable() = 0;

  /**
   * @brief Grow the box (min_x, min_y)-(max_x, max_y) (world frame) to cover what the layer
   * changed since the last cycle. Never shrink it.
   */
  virtual void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) = 0;

  /** @brief Write the layer's costs into master_grid for the cells [min_i, max_i) x [min_j, max_j). */
  virtual void updateCosts(Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j) = 0;

  /** @brief Follow the master grid's new size, resolution and origin. */
  virtual void matchSize() {}

  /** @brief Called when the costmap's footprint changed. */
  virtual void onFootprintChanged() {}

  /** @brief Whether the layer's data is up to date. */
  bool isCurrent() const { return current_; }

  /** @brief Whether the layer takes part in the updates. */
  bool isEnabled() const { return enabled_; }

  std::string getName() const { return name_; }

  /** @brief The costmap's padded footprint. */
  const std::vector<geometry_msgs::msg::Point> & getFootprint();

  /**
   * @brief Declare "<name>.<param_name>" on the node unless already declared.
   * @throws std::runtime_error "Failed to lock node" when the node is gone.
   */
  void declareParameter(const std::string & param_name, const rclcpp::ParameterValue & value);

  /** @brief Whether "<name>.<param_name>" is declared on the node. */
  bool hasParameter(const std::string & param_name);

  /** @brief "<name>.<param_name>". */
  std::string getFullName(const std::string & param_name);

protected:
  /** @brief Layer-specific set-up, run at the end of initialize(). */
  virtual void onInitialize() {}

  LayeredCostmap * layered_costmap_;
  std::string name_;
  tf2_ros::Buffer * tf_;
  rclcpp::CallbackGroup::SharedPtr callback_group_;
  rclcpp_lifecycle::LifecycleNode::WeakPtr node_;
  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Logger logger_{rclcpp::get_logger("nav2_costmap_2d")};

  bool current_;
  bool enabled_;

  /** @brief Names (without the layer prefix) declared through declareParameter(). */
  std::unordered_set<std::string> local_params_;

private:
  std::vector<geometry_msgs::msg::Point> footprint_spec_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__LAYER_HPP_
