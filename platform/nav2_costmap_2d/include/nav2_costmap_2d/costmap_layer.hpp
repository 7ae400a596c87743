// A layer that keeps its own grid of costs, matched to the master grid.
#ifndef NAV2_COSTMAP_2D__COSTMAP_LAYER_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_LAYER_HPP_

#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav2_costmap_2d/layer.hpp"
#include "nav2_costmap_2d/layered_costmap.hpp"

namespace nav2_costmap_2d {

/**
 * @brief A Layer that is also a Costmap2D of the master grid's size. The clear services work on
 * these layers (with the layer's own mutex held).
 */
class CostmapLayer : public Layer, public Costmap2D
{
public:
  CostmapLayer()
      : has_extra_bounds_(false),
        extra_min_x_(1e6),
        extra_max_x_(-1e6),
        extra_min_y_(1e6),
        extra_max_y_(-1e6)
  {
  }

  bool isDiscretized() { return true; }

  /** @brief Resize the layer's grid to the master grid's size, resolution and origin. */
  void matchSize() override;

  /**
   * @brief Set cells to NO_INFORMATION: those strictly inside (start_x, end_x) x
   * (start_y, end_y) if invert is false, all the others if invert is true. Marks the layer not
   * current.
   */
  virtual void clearArea(int start_x, int start_y, int end_x, int end_y, bool invert);

  /**
   * @brief Widen the world-frame box that the next updateBounds() adds to its bounds (through
   * useExtraBounds()).
   */
  void addExtraBounds(double mx0, double my0, double mx1, double my1);

protected:
  /** @brief Copy every cell of the window to master_grid. */
  void updateWithTrueOverwrite(
      nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j);

  /** @brief Copy every known (not NO_INFORMATION) cell of the window to master_grid. */
  void updateWithOverwrite(
      nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j);

  /**
   * @brief Raise master cells to the layer's known costs; an unknown master cell takes the
   * layer's cost.
   */
  void updateWithMax(
      nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j);

  /**
   * @brief Add the layer's known costs to master_grid, capped below
   * INSCRIBED_INFLATED_OBSTACLE; an unknown master cell takes the layer's cost.
   */
  void updateWithAddition(
      nav2_costmap_2d::Costmap2D & master_grid, int min_i, int min_j, int max_i, int max_j);

  /** @brief Grow the box to contain (x, y). */
  void touch(double x, double y, double * min_x, double * min_y, double * max_x, double * max_y);

  /** @brief Grow the box by the extra bounds, if any were added, and forget them. */
  void useExtraBounds(double * min_x, double * min_y, double * max_x, double * max_y);

  bool has_extra_bounds_;

private:
  double extra_min_x_, extra_max_x_, extra_min_y_, extra_max_y_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COSTMAP_LAYER_HPP_
