#ifndef BRINDLEX_VELNOR__OBSERVATION_HPP_
#define BRINDLEX_VELNOR__OBSERVATION_HPP_

#include <Eigen/Core>
#include <cstdint>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "builtin_interfaces/msg/time.hpp"

namespace velnor {

/// Points of a unit: one column (x, y, z) per point, metres, global frame once buffered.
using PointMatrix = Eigen::Matrix<float, 3, Eigen::Dynamic>;

/**
 * @brief The points of one semantic class of one cloud, with a single flag word for all of them.
 *
 * Plain value type: copies are deep, nothing is shared between units, no lock is taken.
 */
class ObservationUnit
{
public:
  /// No points, type EMPTY, flag false, edge (0, 0, 0, 0).
  ObservationUnit();
  ObservationUnit(const ObservationUnit & other);
  ObservationUnit & operator=(const ObservationUnit & other);
  ObservationUnit(ObservationUnit && other) noexcept = default;
  ObservationUnit & operator=(ObservationUnit && other) noexcept = default;
  ~ObservationUnit();

  /// Recompute the x/y bounding box from the points; (0, 0, 0, 0) when there is none.
  void updateEdge();

  PointMatrix points;
  semantic_map::SemanticType type;
  bool flag;
  float min_x;
  float min_y;
  float max_x;
  float max_y;
};

/**
 * @brief One stored cloud: its stamp, the frame of its points, one unit per semantic class and the
 * source that stored it.
 */
class Observation
{
public:
  /// Stamp 0 s 0 ns, frame "", no units, source 0.
  Observation();
  Observation(const Observation & other);
  Observation & operator=(const Observation & other);
  Observation(Observation && other) noexcept = default;
  Observation & operator=(Observation && other) noexcept = default;
  ~Observation();

  builtin_interfaces::msg::Time stamp;
  std::string frame;
  std::vector<ObservationUnit> units;
  /// Which source of its depth-camera cache stored it: the source's place in the order the
  /// sources were added. Set by the cache when it gathers the observations.
  uint32_t source;
};

/**
 * @brief Points with one flag word per point (same order as the columns of `points`).
 *
 * Every unit made from points has exactly one `types` entry per column; only the default unit
 * differs (no points, one entry EMPTY).
 */
class DataUnit
{
public:
  /// No points, `types` = {EMPTY}, flag false, edge (0, 0, 0, 0).
  DataUnit();
  /// The unit's points, one copy of its type per point, its flag and its edge as it stands.
  explicit DataUnit(const ObservationUnit & unit);
  DataUnit(const DataUnit & other);
  DataUnit & operator=(const DataUnit & other);
  DataUnit(DataUnit && other) noexcept = default;
  DataUnit & operator=(DataUnit && other) noexcept = default;
  virtual ~DataUnit();

  /// Recompute the x/y bounding box from the points; (0, 0, 0, 0) when there is none.
  void updateEdge();

  PointMatrix points;
  std::vector<semantic_map::SemanticType> types;
  bool flag;
  float min_x;
  float min_y;
  float max_x;
  float max_y;
};

/// A DataUnit held by the depth-camera cache, with the time (s) its points were observed and the
/// source that observed them.
class CacheUnit : public DataUnit
{
public:
  /// `DataUnit()`, stamp 0.0 and source 0.
  CacheUnit();
  /// Copy of the data part, stamp 0.0 and source 0.
  explicit CacheUnit(const DataUnit & unit);
  CacheUnit(const CacheUnit & other);
  CacheUnit & operator=(const CacheUnit & other);
  CacheUnit(CacheUnit && other) noexcept = default;
  CacheUnit & operator=(CacheUnit && other) noexcept = default;
  ~CacheUnit() override;

  double stamp;
  uint32_t source;  ///< the `Observation::source` of the observation it came from
};

/// A change of the semantic map: withdraw (CLEAR) or apply (MARK) the unit's points.
class MapChangeUnit : public DataUnit
{
public:
  enum Operate : int32_t
  {
    CLEAR = 1,
    MARK = 2,
  };

  /// An empty CLEAR: no points, so applying it changes nothing.
  MapChangeUnit();
  /// Copy of the data part of @p unit (its stamp is not carried) with the given operation.
  MapChangeUnit(const CacheUnit & unit, Operate operation);
  /// Copy of @p unit with the given operation.
  MapChangeUnit(const DataUnit & unit, Operate operation);
  MapChangeUnit(const MapChangeUnit & other);
  MapChangeUnit & operator=(const MapChangeUnit & other);
  MapChangeUnit(MapChangeUnit && other) noexcept = default;
  MapChangeUnit & operator=(MapChangeUnit && other) noexcept = default;
  ~MapChangeUnit() override;

  Operate operate;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__OBSERVATION_HPP_
