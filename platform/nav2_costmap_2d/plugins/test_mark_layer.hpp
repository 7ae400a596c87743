// A layer for exercising the costmap pipeline without the Navigation2 layers.
#ifndef NAV2_COSTMAP_2D__TEST_MARK_LAYER_HPP_
#define NAV2_COSTMAP_2D__TEST_MARK_LAYER_HPP_

#include <vector>

#include "nav2_costmap_2d/costmap_layer.hpp"

namespace nav2_costmap_2d {

/**
 * @brief Stand-in test layer (not part of Navigation2): a clearable CostmapLayer that marks the
 * world points listed in "<name>.mark_points" ([x0, y0, x1, y1, ...], global frame) as
 * LETHAL_OBSTACLE whenever its grid is (re)sized, and leaves every other cell unknown. It merges
 * into the master grid by maximum. "<name>.enabled" (default true) switches it off.
 *
 * Lock order: master costmap mutex, then this layer's mutex.
 */
class TestMarkLayer : public CostmapLayer
{
public:
  TestMarkLayer() = default;

  void reset() override;

  bool isClearable() override { return true; }

  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override;

  void updateCosts(Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j) override;

  void matchSize() override;

protected:
  void onInitialize() override;

private:
  /** @brief Mark the configured points and remember their box for the next updateBounds(). */
  void applyMarks();

  std::vector<double> mark_points_;
  bool has_marked_bounds_{false};
  double marked_min_x_{0.0}, marked_min_y_{0.0}, marked_max_x_{0.0}, marked_max_y_{0.0};
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__TEST_MARK_LAYER_HPP_
