// A 2D grid of cell costs with its world placement (origin, resolution).
#ifndef NAV2_COSTMAP_2D__COSTMAP_2D_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_2D_HPP_

#include <string.h>

#include <mutex>
#include <vector>

namespace nav2_costmap_2d {

/** @brief A cell of the grid and its cost. */
struct MapLocation
{
  unsigned int x;
  unsigned int y;
  unsigned char cost;
};

/**
 * @brief A grid of unsigned char costs. Cell (mx, my) covers the square starting at
 * origin + (mx, my) * resolution (metres in the map's frame).
 *
 * The grid does not lock itself for cell access: callers hold getMutex() (a recursive mutex)
 * around reads and writes that can race with another thread.
 */
class Costmap2D
{
public:
  /**
   * @brief A grid of cells_size_x by cells_size_y cells, every cell set to default_value.
   */
  Costmap2D(
      unsigned int cells_size_x,
      unsigned int cells_size_y,
      double resolution,
      double origin_x,
      double origin_y,
      unsigned char default_value = 0);

  /** @brief Deep copy. */
  Costmap2D(const Costmap2D & map);

  /** @brief Deep copy of map's size, placement, default value and cells. */
  Costmap2D & operator=(const Costmap2D & map);

  /** @brief An empty grid (no cells, resolution 0, origin 0). */
  Costmap2D();

  virtual ~Costmap2D();

  /**
   * @brief Become a copy of the window of map that starts at (win_origin_x, win_origin_y) and
   * spans win_size_x by win_size_y metres. False if the window does not fit in map.
   */
  bool copyCostmapWindow(
      const Costmap2D & map,
      double win_origin_x,
      double win_origin_y,
      double win_size_x,
      double win_size_y);

  /**
   * @brief Copy the cells [sx0, sxn) x [sy0, syn) of source to this grid, starting at (dx0, dy0).
   * False, and nothing copied, if either window leaves its grid.
   */
  bool copyWindow(
      const Costmap2D & source,
      unsigned int sx0,
      unsigned int sy0,
      unsigned int sxn,
      unsigned int syn,
      unsigned int dx0,
      unsigned int dy0);

  /** @brief Cost of cell (mx, my); no bounds check. */
  unsigned char getCost(unsigned int mx, unsigned int my) const;

  /** @brief Cost of the cell at a linear index; no bounds check. */
  unsigned char getCost(unsigned int index) const;

  /** @brief Set the cost of cell (mx, my); no bounds check. */
  void setCost(unsigned int mx, unsigned int my, unsigned char cost);

  /** @brief World coordinates of the centre of cell (mx, my). */
  void mapToWorld(unsigned int mx, unsigned int my, double & wx, double & wy) const;

  /**
   * @brief Cell holding world point (wx, wy). False if the point is below the origin or the cell
   * lies outside the grid (mx, my are then unspecified).
   */
  bool worldToMap(double wx, double wy, unsigned int & mx, unsigned int & my) const;

  /** @brief Cell holding (wx, wy), which may lie outside the grid. */
  void worldToMapNoBounds(double wx, double wy, int & mx, int & my) const;

  /**
   * @brief Cell holding (wx, wy), clamped: below the origin gives 0, beyond
   * origin + size * resolution gives size - 1.
   */
  void worldToMapEnforceBounds(double wx, double wy, int & mx, int & my) const;

  /** @brief Linear index of cell (mx, my). */
  inline unsigned int getIndex(unsigned int mx, unsigned int my) const { return my * size_x_ + mx; }

  /** @brief Cell of a linear index. */
  inline void indexToCells(unsigned int index, unsigned int & mx, unsigned int & my) const
  {
    my = index / size_x_;
    mx = index - (my * size_x_);
  }

  /** @brief The cells, row-major, size_x * size_y bytes. */
  unsigned char * getCharMap() const;

  unsigned int getSizeInCellsX() const;
  unsigned int getSizeInCellsY() const;

  /** @brief Width in metres, measured as (size_x - 1 + 0.5) * resolution. */
  double getSizeInMetersX() const;

  /** @brief Height in metres, measured as (size_y - 1 + 0.5) * resolution. */
  double getSizeInMetersY() const;

  double getOriginX() const;
  double getOriginY() const;
  double getResolution() const;

  void setDefaultValue(unsigned char c) { default_value_ = c; }

  unsigned char getDefaultValue() { return default_value_; }

  /**
   * @brief Move the grid to a new origin (snapped to whole cells), keeping the content of the
   * overlapping area in place in the world; the rest becomes the default value.
   */
  virtual void updateOrigin(double new_origin_x, double new_origin_y);

  /**
   * @brief Reallocate to size_x by size_y cells and set every cell to the default value. A size
   * whose cell count does not fit in 32 bits is refused with an ERROR: nothing changes.
   */
  void resizeMap(
      unsigned int size_x,
      unsigned int size_y,
      double resolution,
      double origin_x,
      double origin_y);

  /** @brief Set the cells [x0, xn) x [y0, yn) to the default value. */
  void resetMap(unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn);

  /** @brief Set the cells [x0, xn) x [y0, yn) to value. */
  void resetMapToValue(
      unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn, unsigned char value);

  /** @brief Number of whole cells covering world_dist metres (rounded up). */
  unsigned int cellDistance(double world_dist);

  typedef std::recursive_mutex mutex_t;

  /** @brief The grid's lock. */
  mutex_t * getMutex() { return access_; }

protected:
  /**
   * @brief Copy a region_size_x by region_size_y block of cells between two row-major arrays.
   */
  template <typename data_type>
  void copyMapRegion(
      data_type * source_map,
      unsigned int sm_lower_left_x,
      unsigned int sm_lower_left_y,
      unsigned int sm_size_x,
      data_type * dest_map,
      unsigned int dm_lower_left_x,
      unsigned int dm_lower_left_y,
      unsigned int dm_size_x,
      unsigned int region_size_x,
      unsigned int region_size_y)
  {
    data_type * sm_index = source_map + (sm_lower_left_y * sm_size_x + sm_lower_left_x);
    data_type * dm_index = dest_map + (dm_lower_left_y * dm_size_x + dm_lower_left_x);
    for (unsigned int i = 0; i < region_size_y; ++i) {
      memcpy(dm_index, sm_index, region_size_x * sizeof(data_type));
      sm_index += sm_size_x;
      dm_index += dm_size_x;
    }
  }

  /** @brief Free the cells. */
  virtual void deleteMaps();

  /** @brief Set every cell to the default value. */
  virtual void resetMaps();

  /**
   * @brief Allocate size_x by size_y cells (content unspecified); a size whose cell count does
   * not fit in 32 bits is refused with an ERROR, changing nothing.
   */
  virtual void initMaps(unsigned int size_x, unsigned int size_y);

  unsigned int size_x_;
  unsigned int size_y_;
  double resolution_;
  double origin_x_;
  double origin_y_;
  unsigned char * costmap_;
  unsigned char default_value_;

private:
  mutex_t * access_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COSTMAP_2D_HPP_
