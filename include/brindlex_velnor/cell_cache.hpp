#ifndef BRINDLEX_VELNOR__CELL_CACHE_HPP_
#define BRINDLEX_VELNOR__CELL_CACHE_HPP_

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/observation.hpp"

namespace velnor {

/**
 * @brief The time-decaying cache of observed points behind the depth-camera layer.
 *
 * Each update reduces the gathered observations to the highest points of each small ground cell,
 * merges them into a list of units ordered newest first, ages the cached units (decay, distance
 * from the robot, re-delivery, re-observation, view-frustum clearing) and reports every change as
 * CLEAR / MARK units. Free of node plumbing; no lock: the owner serialises all calls (the
 * depth-camera cache holds its cache mutex).
 */
class CellCache
{
public:
  /// The settings an update reads.
  struct Settings
  {
    double cache_resolution{0.05};                 ///< m, side of a binning cell; finite, > 0
    double decay_time{0.0};                        ///< s; <= 0 disables decay
    double local_cache_distance{0.0};              ///< m; <= 0 disables the distance rule
    int32_t clearing_min_point_cloud{0};           ///< a cleared unit survives with more points
    bool enable_near_blocked_protection{false};    ///< ignore frustums of blocked cameras
    int32_t number_points_considered_as_blocked{0};  ///< blocked: at most this many reference points
  };

  CellCache();
  ~CellCache();

  /**
   * @brief One cache update: bin the gathered points by cell keeping each cell's top points, walk
   * the cache (decay, distance, re-delivery, re-observation, frustum clearing), then merge the
   * new units in by stamp. A cached unit counts as delivered again only when its own source
   * delivered a unit at least as old in this update. A point that is not finite, or whose cell
   * index (coordinate / cache_resolution, rounded down) does not fit in int32, is dropped before
   * binning. No lock is taken; the caller holds the lock that guards this cache.
   * @param observations gathered observations of the marking sources (global frame), each with
   * every observation its source still holds
   * @param detectors the frustum detectors in use this cycle
   * @param robot_x robot position, m, global frame
   * @param robot_y robot position, m, global frame
   * @param now current wall-clock time, s
   * @param changes CLEAR / MARK units are appended (the vector is not emptied first)
   */
  void update(
      const std::vector<Observation> & observations,
      const std::vector<std::shared_ptr<FrustumDetector>> & detectors,
      const Settings & settings,
      double robot_x,
      double robot_y,
      double now,
      std::vector<MapChangeUnit> & changes);

  /// Drop every cached unit without reporting a change; the cell table keeps its storage.
  void clear();

  /// The cached units, newest first.
  const std::list<CacheUnit> & getUnits() const { return units; }
  std::size_t size() const { return count; }

private:
  std::list<CacheUnit> units;
  std::size_t count;
  // The per-update cell table lives here so that its storage is kept between updates.
  struct CellTable;
  std::unique_ptr<CellTable> cells;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__CELL_CACHE_HPP_
