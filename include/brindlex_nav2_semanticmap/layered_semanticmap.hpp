#ifndef BRINDLEX_NAV2_SEMANTICMAP__LAYERED_SEMANTICMAP_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__LAYERED_SEMANTICMAP_HPP_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "util/util.hpp"

namespace semantic_map {

/**
 * @brief One semantic grid, the ordered list of layers that fill it and the link to the
 * Navigation2 master costmap.
 *
 * Lock order: the Navigation2 master costmap's mutex, then `mutex` (the outer mutex), then the
 * grid's mutex. `mutex` is held across every call into the layers after configuration; it is not
 * recursive. The node's update cycle (resizeMap() and updateMap()) and its clear-entirely service
 * take the master costmap's mutex before it, so layers may read the master costmap; callers
 * that leave the master costmap alone (the other clear services, activate, deactivate) take
 * `mutex` without it. Nobody takes the master mutex while holding `mutex`.
 */
template <typename MapT>
class LayeredSemanticmap
{
public:
  using LayerT = Layer<MapT>;

  /**
   * @param global_frame the node's global frame
   * @param rolling_window whether the grid follows the robot
   * @param master_costmap the Navigation2 master costmap, not owned
   */
  LayeredSemanticmap(
      const std::string & global_frame,
      bool rolling_window,
      nav2_costmap_2d::Costmap2D * master_costmap)
      : costmap(master_costmap), global_frame(global_frame), rolling_window(rolling_window)
  {
  }

  LayeredSemanticmap(const LayeredSemanticmap &) = delete;
  LayeredSemanticmap & operator=(const LayeredSemanticmap &) = delete;

  /// Releases the layers from the last to the first, under the outer mutex.
  ~LayeredSemanticmap()
  {
    std::lock_guard<std::mutex> lock(mutex);
    while (!plugins.empty()) {
      plugins.pop_back();
    }
  }

  /// Calls @p callback with the grid, under the outer mutex.
  void getSemanticmap(std::function<void(MapT *)> callback = [](MapT *) {})
  {
    std::lock_guard<std::mutex> lock(mutex);
    callback(&semanticmap);
  }

  /// Calls @p callback on every layer in list order, under the outer mutex.
  void forEachLayer(std::function<void(std::shared_ptr<LayerT> &)> callback)
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto & layer : plugins) {
      callback(layer);
    }
  }

  /**
   * @brief Re-sizes and empties the grid, then calls every layer's matchSize() in list order.
   * Takes the outer mutex, and the grid's mutex only around the grid's own re-size.
   * @return false when the grid refused the size (logged): grid and layers are left as they were
   */
  bool resizeMap(
      uint32_t size_x,
      uint32_t size_y,
      double resolution,
      double origin_x,
      double origin_y,
      bool size_locked_flag = false)
  {
    std::lock_guard<std::mutex> lock(mutex);
    size_locked = size_locked_flag;
    if (!semanticmap.resizeMap(size_x, size_y, resolution, origin_x, origin_y)) {
      return false;
    }
    for (auto & layer : plugins) {
      layer->matchSize();
    }
    return true;
  }

  /**
   * @brief Whether @p grid has the size, resolution and origin of @p master, so that cells of the
   * same index lie at the same place. Origins closer than a millionth of a cell count as the
   * same: the two move by whole cells, in sums that may round apart. The caller holds the grid's
   * mutex or is the map-update thread, and holds the master's mutex.
   */
  static bool sameGeometry(const MapT & grid, const nav2_costmap_2d::Costmap2D & master)
  {
    const double tolerance = 1e-6 * grid.resolution;
    return grid.grid->size_x == master.getSizeInCellsX() &&
           grid.grid->size_y == master.getSizeInCellsY() &&
           grid.resolution == master.getResolution() &&
           std::abs(grid.origin_x - master.getOriginX()) <= tolerance &&
           std::abs(grid.origin_y - master.getOriginY()) <= tolerance;
  }

  /// Cells [x0, xn) x [y0, yn) of a grid; empty when x0 >= xn or y0 >= yn.
  struct CellWindow
  {
    int x0{0};
    int y0{0};
    int xn{0};
    int yn{0};
  };

  /**
   * @brief One semantic update cycle at the robot pose (metres, radians; global frame): moves the
   * rolling window, gathers the layers' bounds and lets every layer update the grid. Takes the
   * outer mutex; the node's cycle calls the form below with the master costmap's mutex held.
   */
  void updateMap(double robot_x, double robot_y, double robot_yaw)
  {
    updateMap(robot_x, robot_y, robot_yaw, CellWindow());
  }

  /**
   * @brief The same, for a cycle whose Navigation2 update recomputed the master costmap cells
   * @p master_window, kept in `master_changed` for the layers of this cycle.
   */
  void updateMap(double robot_x, double robot_y, double robot_yaw, const CellWindow & master_window)
  {
    std::lock_guard<std::mutex> lock(mutex);
    master_changed = master_window;
    if (rolling_window) {
      moveRollingWindow(robot_x, robot_y);
    }
    checkRobotInBounds(robot_x, robot_y);
    if (plugins.empty()) {
      return;
    }

    double min_x = std::numeric_limits<double>::max();
    double min_y = std::numeric_limits<double>::max();
    double max_x = std::numeric_limits<double>::lowest();
    double max_y = std::numeric_limits<double>::lowest();
    for (auto & layer : plugins) {
      const double prev_min_x = min_x;
      const double prev_min_y = min_y;
      const double prev_max_x = max_x;
      const double prev_max_y = max_y;
      layer->updateBounds(robot_x, robot_y, robot_yaw, &min_x, &min_y, &max_x, &max_y);
      if (min_x > prev_min_x || min_y > prev_min_y || max_x < prev_max_x || max_y < prev_max_y) {
        LOG_THROTTLE(
            "LayeredSemanticmap::updateMap",
            2,
            "LayeredSemanticmap::updateMap Illegal bounds change, was [tl: ({}, {}), br: ({}, "
            "{})], "
            "but is now [tl: ({}, {}), br: ({}, {})]. The offending layer is {}",
            prev_min_x,
            prev_min_y,
            prev_max_x,
            prev_max_y,
            min_x,
            min_y,
            max_x,
            max_y,
            layer->name);
      }
    }

    const double resolution = semanticmap.resolution;
    const uint32_t size_x = semanticmap.grid->size_x;
    const uint32_t size_y = semanticmap.grid->size_y;
    const int x0 = firstCell(min_x, semanticmap.origin_x, resolution, size_x);
    const int xn = endCell(max_x, semanticmap.origin_x, resolution, size_x);
    const int y0 = firstCell(min_y, semanticmap.origin_y, resolution, size_y);
    const int yn = endCell(max_y, semanticmap.origin_y, resolution, size_y);

    brindlex::Logger::Log(
        0, "LayeredSemanticmap::updateMap updating area x: [{}, {}] y: [{}, {}]", x0, xn, y0, yn);
    for (auto & layer : plugins) {
      layer->updateMaps(&semanticmap, costmap, x0, y0, xn, yn);
    }
    initialized = true;
  }

  std::mutex mutex;
  MapT semanticmap;
  nav2_costmap_2d::Costmap2D * costmap;
  std::string global_frame;
  bool rolling_window;
  std::vector<std::shared_ptr<LayerT>> plugins;
  bool initialized{false};
  bool size_locked{false};
  /// Master costmap cells that may have changed in the current cycle, in its cells (which are the
  /// grid's); a layer that reads the master costmap learns here what to look at again.
  CellWindow master_changed;

private:
  // Truncation toward zero, saturated to the int range so that far-away coordinates (or a grid
  // without resolution) cannot overflow the conversion.
  static int64_t truncToCells(double value)
  {
    if (std::isnan(value)) {
      return 0;
    }
    constexpr double kLimit = static_cast<double>(std::numeric_limits<int32_t>::max());
    return static_cast<int64_t>(std::trunc(std::clamp(value, -kLimit, kLimit)));
  }

  static int firstCell(double min, double origin, double resolution, uint32_t size)
  {
    if (min < origin) {
      return 0;
    }
    if (min > origin + size * resolution) {
      return static_cast<int>(std::max<int64_t>(static_cast<int64_t>(size) - 1, 0));
    }
    return static_cast<int>(std::max<int64_t>(truncToCells((min - origin) / resolution), 0));
  }

  static int endCell(double max, double origin, double resolution, uint32_t size)
  {
    int64_t end;
    if (max < origin) {
      end = 1;
    } else if (max > origin + size * resolution) {
      end = size;
    } else {
      end = truncToCells((max - origin) / resolution) + 1;
    }
    return static_cast<int>(std::min<int64_t>(end, size));
  }

  // Shifts the grid so that the robot stays at its centre; cells that stay inside keep their
  // values, the others become empty. Runs on every cycle with the outer mutex held. The overlap
  // moves in place under the grid's mutex, which gives the cells the same values as copying it
  // out, emptying the grid and copying it back, without a temporary store.
  void moveRollingWindow(double robot_x, double robot_y)
  {
    auto & store = *semanticmap.grid;
    const int64_t size_x = store.size_x;
    const int64_t size_y = store.size_y;
    const double resolution = semanticmap.resolution;
    if (size_x == 0 || size_y == 0 || !(resolution > 0.0)) {
      return;
    }
    const double new_origin_x = robot_x - (size_x - 1 + 0.5) * resolution * 0.5;
    const double new_origin_y = robot_y - (size_y - 1 + 0.5) * resolution * 0.5;
    const int64_t cell_ox = truncToCells((new_origin_x - semanticmap.origin_x) / resolution);
    const int64_t cell_oy = truncToCells((new_origin_y - semanticmap.origin_y) / resolution);
    if (cell_ox == 0 && cell_oy == 0) {
      // The overlap is the whole grid and goes back where it came from: nothing changes.
      return;
    }

    const int64_t lower_left_x = std::min(std::max<int64_t>(cell_ox, 0), size_x);
    const int64_t lower_left_y = std::min(std::max<int64_t>(cell_oy, 0), size_y);
    const int64_t upper_right_x = std::min(std::max<int64_t>(cell_ox + size_x, 0), size_x);
    const int64_t upper_right_y = std::min(std::max<int64_t>(cell_oy + size_y, 0), size_y);
    const auto width = static_cast<uint32_t>(upper_right_x - lower_left_x);
    const auto height = static_cast<uint32_t>(upper_right_y - lower_left_y);

    std::lock_guard<std::mutex> grid_lock(semanticmap.mutex);
    semanticmap.origin_x += cell_ox * resolution;
    semanticmap.origin_y += cell_oy * resolution;
    // A shift beyond the grid puts the destination corner outside it (the 32-bit value wraps):
    // the move reports it and leaves the grid empty.
    store.moveWindow(
        static_cast<uint32_t>(lower_left_x),
        static_cast<uint32_t>(lower_left_y),
        static_cast<uint32_t>(lower_left_x - cell_ox),
        static_cast<uint32_t>(lower_left_y - cell_oy),
        width,
        height);
  }

  void checkRobotInBounds(double robot_x, double robot_y)
  {
    const double origin_x = semanticmap.origin_x;
    const double origin_y = semanticmap.origin_y;
    const double resolution = semanticmap.resolution;
    if (robot_x < origin_x || robot_y < origin_y ||
        truncToCells((robot_x - origin_x) / resolution) >= semanticmap.grid->size_x ||
        truncToCells((robot_y - origin_y) / resolution) >= semanticmap.grid->size_y) {
      LOG_THROTTLE(
          "LayeredSemanticmap::updateMap",
          2,
          "LayeredSemanticmap::updateMap robot is out of bounds of the map!");
    }
  }
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__LAYERED_SEMANTICMAP_HPP_
