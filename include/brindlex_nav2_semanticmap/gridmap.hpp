#ifndef BRINDLEX_NAV2_SEMANTICMAP__GRIDMAP_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__GRIDMAP_HPP_

#include <cstdint>

namespace semantic_map
{

/**
 * @brief A raster of cells of type T, row-major (cell (x, y) at x + y * size_x).
 *
 * Cell (x, y) covers world x from origin_x + x * resolution to origin_x + (x + 1) * resolution
 * (metres, global frame), and the same in y. The raster frees `data` only when it owns it.
 */
template<typename T>
class Gridmap
{
public:
  Gridmap() = default;
  Gridmap(const Gridmap &) = delete;
  Gridmap & operator=(const Gridmap &) = delete;

  ~Gridmap()
  {
    if (data != nullptr && owns_data) {
      delete[] data;
    }
  }

  uint32_t size_x{0};
  uint32_t size_y{0};
  double resolution{0.0};
  double origin_x{0.0};
  double origin_y{0.0};
  T default_value{};
  T * data{nullptr};
  bool owns_data{true};
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__GRIDMAP_HPP_
