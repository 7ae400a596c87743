#ifndef BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_HPP_

#include <cstdint>
#include <mutex>

#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"

namespace semantic_map
{

/**
 * @brief The semantic grid: a cell store with its resolution and origin, under one mutex.
 *
 * Cell (x, y) covers world x from origin_x + x * resolution to origin_x + (x + 1) * resolution
 * (metres, global frame), and the same in y. Whoever reads or writes cells, the resolution or the
 * origin holds `mutex` for the whole access.
 */
template<typename StoreT>
class Semanticmap
{
public:
  Semanticmap()
  : grid(new StoreT()) {}
  Semanticmap(const Semanticmap &) = delete;
  Semanticmap & operator=(const Semanticmap &) = delete;

  virtual ~Semanticmap()
  {
    std::lock_guard<std::mutex> lock(mutex);
    delete grid;
    grid = nullptr;
  }

  /**
   * @brief Resizes and resets the store, then stores resolution (m/cell) and origin (m). Takes
   * `mutex`.
   * @return false when the store refused the size (logged): the grid is left as it was
   */
  bool resizeMap(
    uint32_t size_x, uint32_t size_y, double new_resolution, double new_origin_x,
    double new_origin_y)
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!grid->resize(size_x, size_y)) {
      return false;
    }
    resolution = new_resolution;
    origin_x = new_origin_x;
    origin_y = new_origin_y;
    return true;
  }

  /// Empties every cell. Takes `mutex`.
  void resetMap()
  {
    std::lock_guard<std::mutex> lock(mutex);
    grid->resetMap();
  }

  std::mutex mutex;
  double resolution{0.0};
  double origin_x{0.0};
  double origin_y{0.0};
  StoreT * grid;
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_HPP_
