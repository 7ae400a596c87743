#ifndef BRINDLEX_NAV2_SEMANTICMAP__MAP_TYPE_AND_HEIGHT_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__MAP_TYPE_AND_HEIGHT_HPP_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "util/util.hpp"

namespace semantic_map
{

/**
 * @brief The cell store of the semantic grid: one type word and one height word per cell.
 *
 * Both arrays are row-major: cell (x, y) is at index x + y * size_x. A reset cell is EMPTY with
 * height minus infinity. Not thread-safe by itself: the owning Semanticmap's mutex guards it.
 */
class MapTypeAndHeight
{
public:
  MapTypeAndHeight() = default;
  MapTypeAndHeight(const MapTypeAndHeight &) = delete;
  MapTypeAndHeight & operator=(const MapTypeAndHeight &) = delete;

  ~MapTypeAndHeight() {freeArrays();}

  /**
   * @brief Sets the size in cells and resets every cell. A new size drops all contents; the
   * current size keeps the arrays.
   */
  void resize(uint32_t new_size_x, uint32_t new_size_y)
  {
    if (new_size_x == size_x && new_size_y == size_y) {
      resetMap();
      return;
    }
    size_x = 0;
    size_y = 0;
    freeArrays();
    size_x = new_size_x;
    size_y = new_size_y;
    const uint32_t cells = cellCount();
    types = new SemanticTypeBase<unsigned int>[cells];
    heights = new float[cells];
    resetMap();
  }

  /// Every cell becomes EMPTY with height minus infinity.
  void resetMap()
  {
    const uint32_t cells = cellCount();
    if (cells == 0 || types == nullptr) {
      return;
    }
    std::fill_n(types, cells, SemanticTypeBaseEnum<SemanticTypeBase<unsigned int>>::EMPTY);
    std::fill_n(heights, cells, -std::numeric_limits<float>::infinity());
  }

  /**
   * @brief Copies a width x height window of both arrays from @p source at (source_x, source_y)
   * to (dest_x, dest_y) of this store, row by row.
   *
   * A window that does not lie inside both stores is logged as an error and copies nothing.
   */
  void setMap(
    const MapTypeAndHeight & source, uint32_t source_x, uint32_t source_y, uint32_t dest_x,
    uint32_t dest_y, uint32_t width, uint32_t height)
  {
    // 64-bit sums: a large corner must not wrap around and pass the check.
    const uint64_t w = width;
    const uint64_t h = height;
    if (source_x + w > source.size_x || source_y + h > source.size_y ||
      dest_x + w > size_x || dest_y + h > size_y)
    {
      brindlex::Logger::Log(3, "MapTypeAndHeight::setMap get source area out of range");
      return;
    }
    if (width == 0 || height == 0) {
      return;
    }
    for (uint32_t row = 0; row < height; ++row) {
      const uint64_t from = source_x + static_cast<uint64_t>(source_y + row) * source.size_x;
      const uint64_t to = dest_x + static_cast<uint64_t>(dest_y + row) * size_x;
      std::memcpy(types + to, source.types + from, width * sizeof(*types));
      std::memcpy(heights + to, source.heights + from, width * sizeof(*heights));
    }
  }

  /// Number of cells, size_x * size_y in unsigned 32-bit arithmetic.
  uint32_t cellCount() const {return size_x * size_y;}

  uint32_t size_x{0};
  uint32_t size_y{0};
  SemanticTypeBase<unsigned int> * types{nullptr};
  float * heights{nullptr};

private:
  void freeArrays()
  {
    delete[] types;
    delete[] heights;
    types = nullptr;
    heights = nullptr;
  }
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__MAP_TYPE_AND_HEIGHT_HPP_
