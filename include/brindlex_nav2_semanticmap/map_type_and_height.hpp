#ifndef BRINDLEX_NAV2_SEMANTICMAP__MAP_TYPE_AND_HEIGHT_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__MAP_TYPE_AND_HEIGHT_HPP_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "util/util.hpp"

namespace semantic_map {

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

  ~MapTypeAndHeight() { freeArrays(); }

  /**
   * @brief Sets the size in cells and resets every cell. A new size drops all contents; the
   * current size keeps the arrays.
   *
   * A size whose cell count does not fit in 32 bits, or whose arrays cannot be allocated, is
   * refused with an ERROR record naming it: the store keeps its size, arrays and cells.
   * @return whether the store has the new size
   */
  bool resize(uint32_t new_size_x, uint32_t new_size_y)
  {
    if (new_size_x == size_x && new_size_y == size_y) {
      resetMap();
      return true;
    }
    // Cells are indexed in 32 bits: a larger count would wrap, and the arrays be too short.
    const uint64_t cells = static_cast<uint64_t>(new_size_x) * new_size_y;
    if (cells > std::numeric_limits<uint32_t>::max()) {
      brindlex::Logger::Log(
          3,
          "MapTypeAndHeight::resize refused {} x {} cells: the cell count does not fit in 32 bits",
          new_size_x,
          new_size_y);
      return false;
    }
    // Allocate before anything changes, so that a failed allocation leaves the store whole.
    std::unique_ptr<SemanticTypeBase<unsigned int>[]> new_types(
        new (std::nothrow) SemanticTypeBase<unsigned int>[cells]);
    std::unique_ptr<float[]> new_heights(new (std::nothrow) float[cells]);
    if (!new_types || !new_heights) {
      brindlex::Logger::Log(
          3,
          "MapTypeAndHeight::resize failed: no memory for {} x {} cells",
          new_size_x,
          new_size_y);
      return false;
    }
    freeArrays();
    types = new_types.release();
    heights = new_heights.release();
    size_x = new_size_x;
    size_y = new_size_y;
    resetMap();
    return true;
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
      const MapTypeAndHeight & source,
      uint32_t source_x,
      uint32_t source_y,
      uint32_t dest_x,
      uint32_t dest_y,
      uint32_t width,
      uint32_t height)
  {
    // 64-bit sums: a large corner must not wrap around and pass the check.
    const uint64_t w = width;
    const uint64_t h = height;
    if (source_x + w > source.size_x || source_y + h > source.size_y || dest_x + w > size_x ||
        dest_y + h > size_y) {
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

  /**
   * @brief Moves a width x height window of this store from (source_x, source_y) to
   * (dest_x, dest_y) and empties every cell outside the destination window: the same result as
   * copying the window out, resetting the store and copying it back with setMap(), in one pass.
   *
   * A window that does not lie inside the store at both corners is logged as setMap() logs it, and
   * leaves every cell empty.
   */
  void moveWindow(
      uint32_t source_x,
      uint32_t source_y,
      uint32_t dest_x,
      uint32_t dest_y,
      uint32_t width,
      uint32_t height)
  {
    const uint64_t w = width;
    const uint64_t h = height;
    if (source_x + w > size_x || source_y + h > size_y || dest_x + w > size_x ||
        dest_y + h > size_y) {
      resetMap();
      brindlex::Logger::Log(3, "MapTypeAndHeight::setMap get source area out of range");
      return;
    }
    if (width == 0 || height == 0) {
      resetMap();
      return;
    }
    // Rows move towards lower y in ascending order and towards higher y in descending order, so
    // that no source row is overwritten before it has moved; memmove handles a shift along x.
    const auto move_row = [&](uint32_t row) {
      const uint64_t from = source_x + static_cast<uint64_t>(source_y + row) * size_x;
      const uint64_t to = dest_x + static_cast<uint64_t>(dest_y + row) * size_x;
      std::memmove(types + to, types + from, width * sizeof(*types));
      std::memmove(heights + to, heights + from, width * sizeof(*heights));
    };
    if (dest_y <= source_y) {
      for (uint32_t row = 0; row < height; ++row) {
        move_row(row);
      }
    } else {
      for (uint32_t row = height; row-- > 0;) {
        move_row(row);
      }
    }
    // Empty what lies outside the destination: whole rows below and above it, and the two ends of
    // each of its rows.
    resetCells(0, static_cast<uint64_t>(dest_y) * size_x);
    resetCells((static_cast<uint64_t>(dest_y) + h) * size_x, static_cast<uint64_t>(cellCount()));
    for (uint64_t row = dest_y; row < dest_y + h; ++row) {
      resetCells(row * size_x, row * size_x + dest_x);
      resetCells(row * size_x + dest_x + w, (row + 1) * size_x);
    }
  }

  /// Number of cells, size_x * size_y in unsigned 32-bit arithmetic.
  uint32_t cellCount() const { return size_x * size_y; }

  uint32_t size_x{0};
  uint32_t size_y{0};
  SemanticTypeBase<unsigned int> * types{nullptr};
  float * heights{nullptr};

private:
  // Empties the cells [begin, end) of both arrays.
  void resetCells(uint64_t begin, uint64_t end)
  {
    if (begin >= end) {
      return;
    }
    std::fill(
        types + begin, types + end, SemanticTypeBaseEnum<SemanticTypeBase<unsigned int>>::EMPTY);
    std::fill(heights + begin, heights + end, -std::numeric_limits<float>::infinity());
  }

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
