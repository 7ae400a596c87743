#include "brindlex_velnor/cell_cache.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace velnor {

namespace {

using semantic_map::SemanticType;

// Two points of one cell whose heights differ by at most this much (m) are both kept.
constexpr double kTopBand = 0.001;

// A cell index is the quotient rounded down, so that every index, 0 included, spans one
// resolution; these bound the quotients whose floor fits in int32.
constexpr double kIndexLow = -2147483648.0;
constexpr double kIndexHigh = 2147483648.0;

/// The packed cell key of a point; false when the point is not finite or its cell does not fit.
inline bool cellKey(float x, float y, float z, double resolution, uint64_t & key)
{
  const double qx = static_cast<double>(x) / resolution;
  const double qy = static_cast<double>(y) / resolution;
  // Written so that NaN fails every comparison.
  if (!(qx >= kIndexLow && qx < kIndexHigh && qy >= kIndexLow && qy < kIndexHigh &&
        std::isfinite(z))) {
    return false;
  }
  const auto ix = static_cast<uint32_t>(static_cast<int32_t>(std::floor(qx)));
  const auto iy = static_cast<uint32_t>(static_cast<int32_t>(std::floor(qy)));
  key = (static_cast<uint64_t>(ix) << 32) | iy;
  return true;
}

/// The finaliser of MurmurHash3: every key bit reaches every hash bit.
inline uint64_t mixKey(uint64_t k)
{
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

/// Moves the columns (and flag words) that @p keep accepts to the front, order preserved.
template <typename Keep>
std::size_t compactPoints(DataUnit & unit, Keep keep)
{
  const auto n = static_cast<std::size_t>(unit.points.cols());
  float * xyz = unit.points.data();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!keep(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2])) {
      continue;
    }
    if (kept != i) {
      xyz[3 * kept] = xyz[3 * i];
      xyz[3 * kept + 1] = xyz[3 * i + 1];
      xyz[3 * kept + 2] = xyz[3 * i + 2];
      unit.types[kept] = unit.types[i];
    }
    ++kept;
  }
  return kept;
}

/// A point that survived the binning pass, with the record of its cell.
struct BinnedPoint
{
  float x;
  float y;
  float z;
  uint32_t cell;
};

/// A unit built in this update, before its points are cut down to the tops of their cells.
struct PendingUnit
{
  double stamp;
  uint32_t source;
  bool flag;
  std::size_t begin;  ///< its points in the binned-point array
  std::size_t end;
};

}  // namespace

/**
 * The cells touched by one update: open addressing with linear probing over a power-of-two slot
 * array, keyed by the packed cell pair. A slot is live only when its generation equals the
 * table's, so starting a new update is one increment. The cell records themselves sit in a dense
 * array whose indices stay valid when the slot array grows.
 */
struct CellCache::CellTable
{
  struct Slot
  {
    uint64_t key;
    uint32_t entry;
    uint32_t generation;
  };

  struct Cell
  {
    float top;       ///< highest z seen in the cell this update, m
    uint32_t flags;  ///< OR of every flag word that reached the cell this update
  };

  static constexpr std::size_t kInitialCapacity = std::size_t{1} << 12;

  std::vector<Slot> slots;
  std::vector<Cell> cells;
  // Working lists of an update, kept here so their storage is reused.
  std::vector<BinnedPoint> binned;
  std::vector<PendingUnit> pending;
  uint64_t mask{0};
  uint32_t generation{0};
  std::vector<double> supersede;  ///< per source: the stamp of its oldest new unit

  CellTable() : slots(kInitialCapacity, Slot{0, 0, 0}), mask(kInitialCapacity - 1) {}

  /// Forget every cell; the storage stays.
  void reset()
  {
    cells.clear();
    binned.clear();
    pending.clear();
    if (++generation == 0) {
      for (auto & slot : slots) {
        slot.generation = 0;
      }
      generation = 1;
    }
  }

  /// Index of the cell's record, or -1 when the cell was not seen this update.
  int64_t find(uint64_t key) const
  {
    for (uint64_t i = mixKey(key) & mask;; i = (i + 1) & mask) {
      const Slot & slot = slots[i];
      if (slot.generation != generation) {
        return -1;
      }
      if (slot.key == key) {
        return slot.entry;
      }
    }
  }

  /// Index of the cell's record; a new cell gets the record {z, flags}. @p inserted tells which.
  uint32_t findOrInsert(uint64_t key, float z, uint32_t flags, bool & inserted)
  {
    uint64_t i = mixKey(key) & mask;
    for (;; i = (i + 1) & mask) {
      Slot & slot = slots[i];
      if (slot.generation != generation) {
        break;
      }
      if (slot.key == key) {
        inserted = false;
        return slot.entry;
      }
    }
    const auto entry = static_cast<uint32_t>(cells.size());
    cells.push_back(Cell{z, flags});
    slots[i] = Slot{key, entry, generation};
    inserted = true;
    // Keep the load at most one half.
    if (2 * cells.size() > slots.size()) {
      grow();
    }
    return entry;
  }

  void grow()
  {
    std::vector<Slot> old(slots.size() * 2, Slot{0, 0, 0});
    old.swap(slots);
    mask = slots.size() - 1;
    for (const Slot & slot : old) {
      if (slot.generation != generation) {
        continue;
      }
      uint64_t i = mixKey(slot.key) & mask;
      while (slots[i].generation == generation) {
        i = (i + 1) & mask;
      }
      slots[i] = slot;
    }
  }
};

namespace {

/// The union of the x/y boxes of the gathered units that have points; empty overlaps nothing.
struct UpdateBox
{
  float min_x{std::numeric_limits<float>::infinity()};
  float max_x{-std::numeric_limits<float>::infinity()};
  float min_y{std::numeric_limits<float>::infinity()};
  float max_y{-std::numeric_limits<float>::infinity()};

  void widen(const ObservationUnit & unit)
  {
    min_x = std::min(min_x, unit.min_x);
    max_x = std::max(max_x, unit.max_x);
    min_y = std::min(min_y, unit.min_y);
    max_y = std::max(max_y, unit.max_y);
  }

  bool empty() const { return !(min_x <= max_x && min_y <= max_y); }

  /// Touching counts as overlap.
  bool overlaps(const DataUnit & unit) const
  {
    return !empty() &&
           !(unit.max_x < min_x || unit.min_x > max_x || unit.max_y < min_y || unit.min_y > max_y);
  }
};

}  // namespace

CellCache::CellCache() : count(0), cells(std::make_unique<CellTable>()) {}

CellCache::~CellCache() = default;

void CellCache::clear()
{
  units.clear();
  count = 0;
}

void CellCache::update(
    const std::vector<Observation> & observations,
    const std::vector<std::shared_ptr<FrustumDetector>> & detectors,
    const Settings & settings,
    double robot_x,
    double robot_y,
    double now,
    std::vector<MapChangeUnit> & changes)
{
  const double resolution = settings.cache_resolution;
  CellTable & table = *cells;
  table.reset();

  // Bin every gathered point; a point survives while it is the highest of its cell so far.
  std::vector<PendingUnit> & pending = table.pending;
  std::vector<BinnedPoint> & binned = table.binned;
  UpdateBox box;
  for (const Observation & observation : observations) {
    const double stamp = static_cast<double>(observation.stamp.sec) +
                         static_cast<double>(observation.stamp.nanosec) * 1e-9;
    for (const ObservationUnit & unit : observation.units) {
      const auto n = static_cast<std::size_t>(unit.points.cols());
      if (n > 0) {
        box.widen(unit);
      }
      const uint32_t type = unit.type;
      const float * xyz = unit.points.data();
      const std::size_t begin = binned.size();
      bool have_last = false;
      uint64_t last_key = 0;
      uint32_t last_cell = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const float x = xyz[3 * i];
        const float y = xyz[3 * i + 1];
        const float z = xyz[3 * i + 2];
        uint64_t key;
        if (!cellKey(x, y, z, resolution, key)) {
          continue;
        }
        // Neighbouring pixels mostly fall into one cell, so the last cell is tried first.
        if (have_last && key == last_key) {
          CellTable::Cell & cell = table.cells[last_cell];
          cell.flags |= type;
          if (z > cell.top) {
            cell.top = z;
            binned.push_back(BinnedPoint{x, y, z, last_cell});
          }
          continue;
        }
        bool inserted = false;
        const uint32_t index = table.findOrInsert(key, z, type, inserted);
        have_last = true;
        last_key = key;
        last_cell = index;
        if (!inserted) {
          CellTable::Cell & cell = table.cells[index];
          cell.flags |= type;
          if (!(z > cell.top)) {
            continue;
          }
          cell.top = z;
        }
        binned.push_back(BinnedPoint{x, y, z, index});
      }
      pending.push_back(PendingUnit{stamp, observation.source, unit.flag, begin, binned.size()});
    }
  }

  // Newest first; units of equal stamp stay in arrival order.
  std::vector<std::size_t> order(pending.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(), [&pending](std::size_t a, std::size_t b) {
    return pending[a].stamp > pending[b].stamp;
  });

  // Keep only the points within the top band of their cell, with the cell's final flag word.
  std::list<CacheUnit> fresh;
  for (const std::size_t index : order) {
    const PendingUnit & p = pending[index];
    std::size_t kept = 0;
    for (std::size_t i = p.begin; i < p.end; ++i) {
      const BinnedPoint & b = binned[i];
      kept += static_cast<double>(table.cells[b.cell].top - b.z) <= kTopBand ? 1 : 0;
    }
    fresh.emplace_back();
    CacheUnit & unit = fresh.back();
    unit.points.resize(3, static_cast<Eigen::Index>(kept));
    unit.types.assign(kept, SemanticType());
    unit.flag = p.flag;
    unit.stamp = p.stamp;
    unit.source = p.source;
    float * out = unit.points.data();
    std::size_t k = 0;
    for (std::size_t i = p.begin; i < p.end; ++i) {
      const BinnedPoint & b = binned[i];
      const CellTable::Cell & cell = table.cells[b.cell];
      if (static_cast<double>(cell.top - b.z) <= kTopBand) {
        out[3 * k] = b.x;
        out[3 * k + 1] = b.y;
        out[3 * k + 2] = b.z;
        unit.types[k] = SemanticType(cell.flags);
        ++k;
      }
    }
  }

  // A source hands over every observation it still holds, so a cached unit of a source at least
  // as new as that source's oldest new unit was delivered again. Only its own source can say so:
  // what a source no longer holds stays, however new, until a rule below withdraws it.
  constexpr double kNothingDelivered = std::numeric_limits<double>::infinity();
  std::vector<double> & supersede = table.supersede;
  supersede.clear();
  for (const CacheUnit & unit : fresh) {
    if (unit.source >= supersede.size()) {
      supersede.resize(unit.source + std::size_t{1}, kNothingDelivered);
    }
    supersede[unit.source] = std::min(supersede[unit.source], unit.stamp);
  }
  const auto deliveredAgain = [&supersede, now](const CacheUnit & unit) {
    const double threshold =
        unit.source < supersede.size() && supersede[unit.source] != kNothingDelivered
            ? supersede[unit.source]
            : now;
    return unit.stamp >= threshold;
  };

  const bool decay = settings.decay_time > 0.0;
  const double distance = settings.local_cache_distance;
  const auto far = [distance](float a, float b, double centre) {
    return std::fabs(static_cast<double>(a) - centre) > distance &&
           std::fabs(static_cast<double>(b) - centre) > distance;
  };
  std::vector<const FrustumDetector *> clearing;
  for (auto it = units.begin(); it != units.end();) {
    CacheUnit & unit = *it;
    if (decay && now - unit.stamp > settings.decay_time) {
      for (auto rest = it; rest != units.end(); ++rest) {
        changes.emplace_back(*rest, MapChangeUnit::CLEAR);
      }
      count -= static_cast<std::size_t>(std::distance(it, units.end()));
      units.erase(it, units.end());
      break;
    }
    if ((distance > 0.0 &&
         (far(unit.min_x, unit.max_x, robot_x) || far(unit.min_y, unit.max_y, robot_y))) ||
        deliveredAgain(unit)) {
      changes.emplace_back(unit, MapChangeUnit::CLEAR);
      it = units.erase(it);
      --count;
      continue;
    }

    const bool observed_again = box.overlaps(unit);
    clearing.clear();
    for (const auto & detector : detectors) {
      if (!detector || !detector->isCrossFrustum(unit.min_x, unit.max_x, unit.min_y, unit.max_y)) {
        continue;
      }
      if (settings.enable_near_blocked_protection &&
          detector->reference_point_count <= settings.number_points_considered_as_blocked) {
        continue;
      }
      clearing.push_back(detector.get());
    }
    if (!observed_again && clearing.empty()) {
      ++it;
      continue;
    }

    changes.emplace_back(unit, MapChangeUnit::CLEAR);
    // One pass removes what this update saw again and what a frustum now sees free; each
    // detector is asked only about the points the earlier rules left.
    const std::size_t remaining = compactPoints(unit, [&](float x, float y, float z) {
      uint64_t key;
      if (observed_again && cellKey(x, y, z, resolution, key) && table.find(key) >= 0) {
        return false;
      }
      const pcl::PointXYZ point(x, y, z);
      for (const FrustumDetector * detector : clearing) {
        const int32_t status = detector->checkPointFrustumStatus(point, false);
        if (status == 1 || status == 3) {
          return false;
        }
      }
      return true;
    });
    if (static_cast<int64_t>(remaining) > settings.clearing_min_point_cloud) {
      unit.points.conservativeResize(3, static_cast<Eigen::Index>(remaining));
      unit.types.resize(remaining);
      unit.updateEdge();
      changes.emplace_back(unit, MapChangeUnit::MARK);
      ++it;
    } else {
      it = units.erase(it);
      --count;
    }
  }

  for (CacheUnit & unit : fresh) {
    unit.updateEdge();
    changes.emplace_back(unit, MapChangeUnit::MARK);
  }
  // Another source's cached units may be newer than the new ones, so the new list is merged in by
  // stamp (moving list nodes only), new units before cached ones of equal stamp: the cache stays
  // newest first, which the decay rule relies on.
  count += fresh.size();
  fresh.merge(units, [](const CacheUnit & a, const CacheUnit & b) { return a.stamp > b.stamp; });
  units.swap(fresh);
}

}  // namespace velnor
