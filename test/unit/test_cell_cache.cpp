#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "brindlex_velnor/cell_cache.hpp"
#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/observation.hpp"
#include "velnor_test_helpers.hpp"

namespace {

using velnor::CellCache;
using velnor::FrustumDetector;
using velnor::MapChangeUnit;
using velnor::Observation;

using Point = std::array<float, 3>;
using Points = std::vector<Point>;

/// One observation unit to build: its flag word and points.
struct UnitSpec
{
  unsigned type;
  Points points;
};

velnor::ObservationUnit makeUnit(const UnitSpec & spec)
{
  velnor::ObservationUnit unit;
  unit.type = semantic_map::SemanticType(spec.type);
  unit.points.resize(3, static_cast<Eigen::Index>(spec.points.size()));
  for (size_t i = 0; i < spec.points.size(); ++i) {
    for (int r = 0; r < 3; ++r) {
      unit.points(r, static_cast<Eigen::Index>(i)) = spec.points[i][static_cast<size_t>(r)];
    }
  }
  unit.updateEdge();
  return unit;
}

/// An empty observation in "map" stamped @p stamp seconds, rounded to whole milliseconds.
Observation stamped(double stamp)
{
  Observation o;
  const auto ms = static_cast<int64_t>(std::llround(stamp * 1000.0));
  o.stamp.sec = static_cast<int32_t>(ms / 1000);
  o.stamp.nanosec = static_cast<uint32_t>((ms % 1000) * 1000000);
  o.frame = "map";
  return o;
}

/// An observation stamped @p stamp seconds, one unit per spec.
Observation observation(double stamp, const std::vector<UnitSpec> & units)
{
  Observation o = stamped(stamp);
  for (const auto & spec : units) {
    o.units.push_back(makeUnit(spec));
  }
  return o;
}

/// Defaults of the tests: 5 cm cells, every optional rule off.
CellCache::Settings settings()
{
  CellCache::Settings s;
  s.cache_resolution = 0.05;
  return s;
}

/**
 * A camera at (2, -1), 0.8 m high, looking along the bearing 0.6 rad; view 0.5 m to 3 m; polar
 * bins of 0.1 rad and 0.25 m, cropped to rows 2-8 and columns 2-7.
 */
struct WorkedCamera
{
  explicit WorkedCamera(const velnor::FrustumDetectorStrategy & strategy)
      : pose{2.0, -1.0, 0.8, 0.6},
        detector(std::make_shared<FrustumDetector>(
            velnor_test::makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, strategy))
  {
    reset();
  }

  /// A new cycle: cleared, posed and shaped, nothing binned yet (not ready).
  void reset()
  {
    detector->clear();
    detector->setTrans(pose.transform());
    geometry_msgs::msg::Polygon shape;
    for (const Point & p : {cell(2, 2, 0.0), cell(8, 7, 0.0)}) {
      geometry_msgs::msg::Point32 v;
      v.x = p[0];
      v.y = p[1];
      shape.points.push_back(v);
    }
    detector->setShape(shape);
  }

  /// Bins the points and finishes the cycle's input.
  void feed(const Points & points)
  {
    FrustumDetector::PointMatrix m(3, static_cast<Eigen::Index>(points.size()));
    for (size_t i = 0; i < points.size(); ++i) {
      m.col(static_cast<Eigen::Index>(i)) << points[i][0], points[i][1], points[i][2];
    }
    detector->addInputCloud(m);
    detector->fixSetting();
  }

  /// Centre of polar cell (range i, bearing j) at slope s above the camera.
  Point cell(int i, int j, double s) const
  {
    const double r_min = 0.5 * std::hypot(1.0, 319.5 / 525.0);
    const double theta_min = pose.yaw - std::atan(320.5 / 525.0);
    const double d = r_min + (i + 0.5) * 0.25;
    const Eigen::Vector3d p = pose.polar(theta_min + (j + 0.5) * 0.1, d, pose.height + s * d);
    return {static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z())};
  }

  /// A point on the floor @p d metres behind the camera.
  Point behind(double d) const
  {
    const Eigen::Vector3d p = pose.polar(pose.yaw + 3.14159265358979, d, 0.1);
    return {static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z())};
  }

  int32_t status(const Point & p) const
  {
    return detector->checkPointFrustumStatus(pcl::PointXYZ(p[0], p[1], p[2]), false);
  }

  velnor_test::CameraPose pose;
  std::shared_ptr<FrustumDetector> detector;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr unsigned kStatic = 1;
constexpr unsigned kChair = 2;
constexpr unsigned kPerson = 8;

/// One unit as the cache reports it: operation, points, flag words.
struct Expected
{
  int op;
  Points points;
  std::vector<unsigned> types;
};

Expected expected(const MapChangeUnit & change)
{
  Expected e{static_cast<int>(change.operate), {}, {}};
  for (Eigen::Index i = 0; i < change.points.cols(); ++i) {
    e.points.push_back({change.points(0, i), change.points(1, i), change.points(2, i)});
    e.types.push_back(change.types[static_cast<size_t>(i)]);
  }
  return e;
}

void expectChanges(const std::vector<Expected> & want, const std::vector<MapChangeUnit> & got)
{
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("change " + std::to_string(i));
    const Expected g = expected(got[i]);
    EXPECT_EQ(want[i].op, g.op);
    EXPECT_EQ(want[i].points, g.points);
    EXPECT_EQ(want[i].types, g.types);
    // Every reported box is the box of the reported points.
    velnor::DataUnit box(got[i]);
    box.updateEdge();
    EXPECT_EQ(box.min_x, got[i].min_x);
    EXPECT_EQ(box.max_x, got[i].max_x);
    EXPECT_EQ(box.min_y, got[i].min_y);
    EXPECT_EQ(box.max_y, got[i].max_y);
  }
}

constexpr int kClear = MapChangeUnit::CLEAR;
constexpr int kMark = MapChangeUnit::MARK;

// ---------------------------------------------------------------------------------------------
// Binning: the highest points of each cell survive, with the OR of the cell's flag words.

struct BinningCase
{
  std::string name;
  std::vector<UnitSpec> units;
  std::vector<Expected> marks;
};

TEST(CellCacheBinning, TopPointsOfEachCellCarryTheCellsFlags)
{
  const std::vector<BinningCase> cases = {
      {"half a millimetre apart: both kept",
       {{kChair, {{0.1f, 0.1f, 0.3f}}}, {kStatic, {{0.11f, 0.12f, 0.3005f}}}},
       {{kMark, {{0.1f, 0.1f, 0.3f}}, {3}}, {kMark, {{0.11f, 0.12f, 0.3005f}}, {3}}}},
      {"two millimetres apart: only the higher",
       {{kChair, {{0.1f, 0.1f, 0.3f}}}, {kStatic, {{0.11f, 0.12f, 0.302f}}}},
       {{kMark, {}, {}}, {kMark, {{0.11f, 0.12f, 0.302f}}, {3}}}},
      {"a lower point is dropped but its flag reaches the cell",
       {{kStatic, {{0.1f, 0.1f, 0.5f}}}, {kChair, {{0.12f, 0.1f, 0.2f}}}},
       {{kMark, {{0.1f, 0.1f, 0.5f}}, {3}}, {kMark, {}, {}}}},
      {"order kept, band measured from the final top",
       {{kStatic,
         {{0.1f, 0.1f, 0.3f}, {0.3f, 0.3f, 1.0f}, {0.11f, 0.1f, 0.3009f}, {0.31f, 0.3f, 0.5f}}}},
       {{kMark, {{0.1f, 0.1f, 0.3f}, {0.3f, 0.3f, 1.0f}, {0.11f, 0.1f, 0.3009f}}, {1, 1, 1}}}},
      {"either side of an axis is another cell",
       {{kStatic, {{-0.02f, 0.01f, 0.3f}}},
        {kChair, {{0.02f, 0.01f, 0.5f}, {0.02f, -0.01f, 0.1f}}}},
       {{kMark, {{-0.02f, 0.01f, 0.3f}}, {1}},
        {kMark, {{0.02f, 0.01f, 0.5f}, {0.02f, -0.01f, 0.1f}}, {2, 2}}}},
      {"non-finite points and cells beyond int32 are dropped before binning",
       {{kPerson,
         {{0.1f, 0.1f, kNaN}, {1e9f, 0.1f, 2.0f}, {0.1f, -1e9f, 2.0f}, {kInf, 0.1f, 1.0f}}},
        {kStatic, {{0.1f, 0.1f, 0.2f}, {kNaN, 0.1f, 3.0f}}},
        {kChair, {{0.1f, 0.1f, 0.1f}}}},
       {{kMark, {}, {}}, {kMark, {{0.1f, 0.1f, 0.2f}}, {3}}, {kMark, {}, {}}}},
      {"a unit without points is cached and reported", {{kChair, {}}}, {{kMark, {}, {}}}},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    CellCache cache;
    std::vector<MapChangeUnit> changes;
    cache.update({observation(5.0, c.units)}, {}, settings(), 0.0, 0.0, 6.0, changes);
    expectChanges(c.marks, changes);
    ASSERT_EQ(c.marks.size(), cache.size());
    size_t i = 0;
    for (const auto & unit : cache.getUnits()) {
      EXPECT_EQ(5.0, unit.stamp);
      EXPECT_EQ(c.marks[i++].points.size(), static_cast<size_t>(unit.points.cols()));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The cache walk: decay, distance, re-delivery, re-observation.

struct WalkCase
{
  std::string name;
  std::vector<std::pair<double, std::vector<UnitSpec>>> primed;  ///< one update per entry
  CellCache::Settings settings;
  double robot_x;
  double robot_y;
  double now;
  std::vector<Observation> observations;
  std::vector<Expected> changes;
  size_t cached;
};

CellCache::Settings with(double decay, double distance, int32_t min_points = 0)
{
  CellCache::Settings s = settings();
  s.decay_time = decay;
  s.local_cache_distance = distance;
  s.clearing_min_point_cloud = min_points;
  return s;
}

const std::vector<std::pair<double, std::vector<UnitSpec>>> kThreeUnits = {
    {1.0, {{kStatic, {{1.0f, 0.0f, 0.1f}}}}},
    {2.0, {{kStatic, {{2.0f, 0.0f, 0.1f}}}}},
    {3.0, {{kStatic, {{3.0f, 0.0f, 0.1f}}}}},
};

Expected unitAt(int op, float x, float z = 0.1f) { return {op, {{x, 0.0f, z}}, {kStatic}}; }

TEST(CellCacheWalk, RulesInOrder)
{
  // clang-format off
  const Points two_points = {{1.0f, 0.0f, 0.2f}, {1.52f, 0.0f, 0.2f}};
  const std::vector<std::pair<double, std::vector<UnitSpec>>> two_points_at_1 = {
      {1.0, {{kStatic, two_points}}}};
  const Expected clear_two_units{kClear, two_points, {kStatic, kStatic}};
  const Expected chair_seen_again{kMark, {{1.51f, 0.0f, 0.1f}}, {kChair}};
  const std::vector<WalkCase> cases = {
      // name, primed, settings, robot x, robot y, now, gathered, changes, units cached
      {"nothing gathered, empty cache", {}, with(1.0, 1.0), 0.0, 0.0, 5.0, {}, {}, 0},
      {"new units newest first, equal stamps in arrival order", {}, settings(), 0.0, 0.0, 10.0,
       {observation(1.0, {{kStatic, {{1.0f, 0.0f, 0.0f}}}}),
        observation(3.0, {{kStatic, {{3.0f, 0.0f, 0.0f}}}, {kStatic, {{3.5f, 0.0f, 0.0f}}}}),
        observation(2.0, {{kStatic, {{2.0f, 0.0f, 0.0f}}}}),
        observation(3.0, {{kStatic, {{4.0f, 0.0f, 0.0f}}}})},
       {unitAt(kMark, 3.0f, 0.0f), unitAt(kMark, 3.5f, 0.0f), unitAt(kMark, 4.0f, 0.0f),
        unitAt(kMark, 2.0f, 0.0f), unitAt(kMark, 1.0f, 0.0f)}, 5},
      {"decayed tail cleared oldest last", kThreeUnits, with(1.5, 0.0), 0.0, 0.0, 4.0, {},
       {unitAt(kClear, 2.0f), unitAt(kClear, 1.0f)}, 1},
      {"decay time 0 disables decay", kThreeUnits, with(0.0, 0.0), 0.0, 0.0, 1e6, {}, {}, 3},
      {"negative decay time disables decay",
       kThreeUnits, with(-1.0, 0.0), 0.0, 0.0, 1e6, {}, {}, 3},
      {"distance rule on x", kThreeUnits, with(0.0, 0.5), 2.0, 0.0, 4.0, {},
       {unitAt(kClear, 3.0f), unitAt(kClear, 1.0f)}, 1},
      {"distance rule on y", kThreeUnits, with(0.0, 0.5), 2.0, 0.6, 4.0, {},
       {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f), unitAt(kClear, 1.0f)}, 0},
      {"distance 0 disables the rule", kThreeUnits, with(0.0, 0.0), 100.0, 100.0, 4.0, {}, {}, 3},
      {"both x edges far although the robot lies between them",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.1f}, {3.0f, 0.0f, 0.1f}}}}}},
       with(0.0, 0.9), 2.0, 0.0, 4.0, {},
       {{kClear, {{1.0f, 0.0f, 0.1f}, {3.0f, 0.0f, 0.1f}}, {kStatic, kStatic}}}, 0},
      {"re-delivery: the old copy is withdrawn, the new one applied", kThreeUnits, with(0.0, 0.0),
       0.0, 0.0, 4.0, {observation(2.0, {{kStatic, {{2.0f, 0.0f, 0.1f}}}})},
       {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f), unitAt(kMark, 2.0f)}, 2},
      {"nothing gathered: cached units newer than now count as re-delivered", kThreeUnits,
       with(0.0, 0.0), 0.0, 0.0, 2.0, {}, {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f)}, 1},
      {"re-observation removes the points of cells seen again",
       two_points_at_1, with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {clear_two_units, unitAt(kMark, 1.0f, 0.2f), chair_seen_again}, 2},
      {"re-observed unit left with no points is erased",
       {{1.0, {{kStatic, {{1.51f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0, {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {unitAt(kClear, 1.51f, 0.2f), chair_seen_again}, 1},
      {"a touching box counts as overlap",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.5f, 2.0f, 0.1f}, {3.0f, 0.5f, 0.1f}}}})},
       {{kClear, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}, {kStatic, kStatic}},
        {kMark, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}, {kStatic, kStatic}},
        {kMark, {{1.5f, 2.0f, 0.1f}, {3.0f, 0.5f, 0.1f}}, {kChair, kChair}}}, 2},
      {"a disjoint box leaves the unit alone", {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0, {observation(5.0, {{kChair, {{1.5f, 0.01f, 0.1f}}}})},
       {{kMark, {{1.5f, 0.01f, 0.1f}}, {kChair}}}, 2},
      {"re-observation keeps more than the clearing minimum only",
       two_points_at_1, with(0.0, 0.0, 1), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {clear_two_units, chair_seen_again}, 1},
  };
  // clang-format on
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    CellCache cache;
    std::vector<MapChangeUnit> changes;
    for (const auto & [stamp, units] : c.primed) {
      cache.update({observation(stamp, units)}, {}, settings(), 0.0, 0.0, stamp, changes);
    }
    changes.clear();
    cache.update(c.observations, {}, c.settings, c.robot_x, c.robot_y, c.now, changes);
    expectChanges(c.changes, changes);
    EXPECT_EQ(c.cached, cache.size());
    EXPECT_EQ(c.cached, cache.getUnits().size());
    // The cache lists its units newest first.
    std::vector<double> stamps;
    for (const auto & unit : cache.getUnits()) {
      stamps.push_back(unit.stamp);
    }
    EXPECT_TRUE(std::is_sorted(stamps.rbegin(), stamps.rend()));
  }
}

TEST(CellCacheWalk, ChangesAreAppendedAndClearDropsSilently)
{
  CellCache cache;
  std::vector<MapChangeUnit> changes(2);
  const auto one_unit = observation(1.0, {{kStatic, {{1.0f, 0.0f, 0.1f}}}});
  cache.update({one_unit}, {}, settings(), 0.0, 0.0, 1.0, changes);
  ASSERT_EQ(3u, changes.size());
  EXPECT_EQ(MapChangeUnit::MARK, changes[2].operate);
  cache.clear();
  EXPECT_EQ(0u, cache.size());
  EXPECT_TRUE(cache.getUnits().empty());
  changes.clear();
  cache.update({}, {}, with(0.5, 0.0), 0.0, 0.0, 100.0, changes);
  EXPECT_TRUE(changes.empty());
}

// ---------------------------------------------------------------------------------------------
// Frustum clearing with a real detector.

class CellCacheFrustum : public ::testing::Test
{
protected:
  CellCacheFrustum() : camera(stubbornStrategy()) {}

  /// Status 3 means "seen free" here, 5 "seen with a point".
  static velnor::FrustumDetectorStrategy stubbornStrategy()
  {
    velnor::FrustumDetectorStrategy s;
    s.inside_without_point = 3;
    s.inside_with_point = 5;
    return s;
  }

  /// Primes the cache with one unit of the given points at stamp 1, then runs one update with
  /// nothing gathered and the detector in use.
  std::vector<MapChangeUnit> clearWith(const Points & points, const CellCache::Settings & s)
  {
    std::vector<MapChangeUnit> changes;
    cache.update({observation(1.0, {{kChair, points}})}, {}, settings(), 0.0, 0.0, 1.0, changes);
    changes.clear();
    cache.update({}, {camera.detector}, s, 0.0, 0.0, 2.0, changes);
    return changes;
  }

  CellCache cache;
  WorkedCamera camera;
};

TEST_F(CellCacheFrustum, StatusesOneAndThreeClear)
{
  camera.feed({camera.cell(4, 3, 0.1), camera.cell(2, 5, 0.3)});
  // Statuses as the detector answers them, checked first so the case stays honest.
  const std::vector<std::pair<Point, int32_t>> probe = {
      {camera.cell(4, 3, 0.1), 1},  // seen in its own cell
      {camera.cell(6, 5, 0.3), 2},  // hidden behind a nearer point
      {camera.cell(6, 4, 0.0), 3},  // inside, nothing seen on its bearing
      {camera.cell(6, 3, 0.3), 5},  // inside, above what was seen on its bearing
      {camera.behind(1.0), 0},      // outside the view
  };
  Points points;
  Points kept;
  for (const auto & [p, status] : probe) {
    ASSERT_EQ(status, camera.status(p)) << p[0] << " " << p[1] << " " << p[2];
    points.push_back(p);
    if (status != 1 && status != 3) {
      kept.push_back(p);
    }
  }
  const auto changes = clearWith(points, settings());
  expectChanges(
      {{kClear, points, std::vector<unsigned>(5, kChair)},
       {kMark, kept, std::vector<unsigned>(3, kChair)}},
      changes);
  ASSERT_EQ(1u, cache.size());
  EXPECT_EQ(1.0, cache.getUnits().front().stamp);
}

TEST_F(CellCacheFrustum, OutcomesByDetectorAndOptions)
{
  struct Case
  {
    std::string name;
    int fed_points;  ///< copies of one seen point fed to the detector; -1: not ready
    bool protect;
    int32_t blocked;
    int32_t min_points;
    bool seen_point_cached;    ///< cache the point the camera saw (status 1)
    bool hidden_point_cached;  ///< cache a point hidden behind it (status 2)
    bool far_away;             ///< the cached unit lies beside the frustum box
    std::vector<int> ops;
    size_t cached;
  };
  // clang-format off
  const std::vector<Case> cases = {
      // name; fed points, protect, blocked, minimum; seen, hidden, far away point; ops, cached
      {"crossed, no point seen free: withdrawn and applied unchanged",
       1, false, 0, 0, false, true, false, {kClear, kMark}, 1},
      {"crossed, no point seen free, not above the minimum: erased",
       1, false, 0, 1, false, true, false, {kClear}, 0},
      {"minimum 0: one remaining point survives",
       1, false, 0, 0, true, true, false, {kClear, kMark}, 1},
      {"minimum 0: no remaining point is erased", 1, false, 0, 0, true, false, false, {kClear}, 0},
      {"protected, 100 reference points: blocked", 100, true, 100, 0, true, true, false, {}, 1},
      {"protected, 101 reference points: clears",
       101, true, 100, 0, true, true, false, {kClear, kMark}, 1},
      {"unprotected, few reference points: clears",
       1, false, 100, 0, true, true, false, {kClear, kMark}, 1},
      {"not ready: withdrawn and applied unchanged",
       -1, false, 0, 0, true, true, false, {kClear, kMark}, 1},
      {"box beside the frustum: untouched", 1, false, 0, 0, false, false, true, {}, 1},
  };
  // clang-format on
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    cache.clear();
    camera.reset();
    if (c.fed_points >= 0) {
      camera.feed(Points(static_cast<size_t>(c.fed_points), camera.cell(4, 3, 0.1)));
      ASSERT_EQ(c.fed_points, camera.detector->reference_point_count);
    }
    Points points;
    if (c.seen_point_cached) {
      points.push_back(camera.cell(4, 3, 0.1));
    }
    if (c.hidden_point_cached) {
      points.push_back(camera.cell(6, 3, 0.05));
    }
    if (c.far_away) {
      points.push_back(camera.behind(30.0));
    }
    CellCache::Settings s = with(0.0, 0.0, c.min_points);
    s.enable_near_blocked_protection = c.protect;
    s.number_points_considered_as_blocked = c.blocked;
    const auto changes = clearWith(points, s);
    std::vector<int> ops;
    for (const auto & change : changes) {
      ops.push_back(change.operate);
    }
    EXPECT_EQ(c.ops, ops);
    EXPECT_EQ(c.cached, cache.size());
    if (ops.size() == 2) {
      const size_t survivors =
          c.seen_point_cached && c.fed_points > 0 && !(c.protect && c.fed_points <= c.blocked)
              ? points.size() - 1
              : points.size();
      EXPECT_EQ(static_cast<Eigen::Index>(survivors), changes[1].points.cols());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Differential test against a plain transcription of the update rules.

/// The update rules written out step by step: a std::map cell table, copies everywhere.
class ReferenceCache
{
public:
  void update(
      const std::vector<Observation> & observations,
      const std::vector<std::shared_ptr<FrustumDetector>> & detectors,
      const CellCache::Settings & s,
      double robot_x,
      double robot_y,
      double now,
      std::vector<MapChangeUnit> & changes)
  {
    struct Cell
    {
      float top;
      unsigned flags;
    };
    std::map<std::pair<int32_t, int32_t>, Cell> table;
    const auto key_of = [&s](float x, float y, float z, std::pair<int32_t, int32_t> & key) {
      if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        return false;
      }
      const double tx = std::floor(static_cast<double>(x) / s.cache_resolution);
      const double ty = std::floor(static_cast<double>(y) / s.cache_resolution);
      const double lo = std::numeric_limits<int32_t>::min();
      const double hi = std::numeric_limits<int32_t>::max();
      if (tx < lo || tx > hi || ty < lo || ty > hi) {
        return false;
      }
      key = {static_cast<int32_t>(tx), static_cast<int32_t>(ty)};
      return true;
    };
    bool box_set = false;
    float bx0 = 0, bx1 = 0, by0 = 0, by1 = 0;
    std::list<velnor::CacheUnit> fresh;

    for (const auto & o : observations) {
      const double stamp = o.stamp.sec + o.stamp.nanosec * 1e-9;
      for (const auto & u : o.units) {
        if (u.points.cols() > 0) {
          if (!box_set) {
            bx0 = u.min_x, bx1 = u.max_x, by0 = u.min_y, by1 = u.max_y;
            box_set = true;
          } else {
            bx0 = std::min(bx0, u.min_x), bx1 = std::max(bx1, u.max_x);
            by0 = std::min(by0, u.min_y), by1 = std::max(by1, u.max_y);
          }
        }
        velnor::CacheUnit c{velnor::DataUnit(u)};
        std::vector<int> keep;
        std::vector<unsigned> kept_types;
        for (Eigen::Index i = 0; i < c.points.cols(); ++i) {
          const float x = c.points(0, i), y = c.points(1, i), z = c.points(2, i);
          const unsigned t = c.types[static_cast<size_t>(i)];
          std::pair<int32_t, int32_t> key;
          if (!key_of(x, y, z, key)) {
            continue;
          }
          auto it = table.find(key);
          if (it == table.end()) {
            table[key] = Cell{z, t};
          } else if (z > it->second.top) {
            it->second.top = z;
            it->second.flags |= t;
          } else {
            it->second.flags |= t;
            continue;
          }
          keep.push_back(static_cast<int>(i));
          kept_types.push_back(table[key].flags);
        }
        c = velnor::CacheUnit(cut(c, keep));
        for (size_t k = 0; k < kept_types.size(); ++k) {
          c.types[k] = semantic_map::SemanticType(kept_types[k]);
        }
        c.stamp = stamp;
        auto pos = fresh.begin();
        while (pos != fresh.end() && pos->stamp >= stamp) {
          ++pos;
        }
        fresh.insert(pos, c);
      }
    }
    for (auto & c : fresh) {
      std::vector<int> keep;
      std::vector<unsigned> kept_types;
      for (Eigen::Index i = 0; i < c.points.cols(); ++i) {
        std::pair<int32_t, int32_t> key;
        key_of(c.points(0, i), c.points(1, i), c.points(2, i), key);
        const Cell & cell = table.at(key);
        const float diff = cell.top - c.points(2, i);
        if (diff <= 0.001) {
          keep.push_back(static_cast<int>(i));
          kept_types.push_back(cell.flags);
        }
      }
      const double stamp = c.stamp;
      c = velnor::CacheUnit(cut(c, keep));
      c.stamp = stamp;
      for (size_t k = 0; k < kept_types.size(); ++k) {
        c.types[k] = semantic_map::SemanticType(kept_types[k]);
      }
    }
    const double threshold = fresh.empty() ? now : fresh.back().stamp;

    for (auto it = units.begin(); it != units.end();) {
      velnor::CacheUnit & u = *it;
      if (s.decay_time > 0 && now - u.stamp > s.decay_time) {
        for (auto rest = it; rest != units.end(); ++rest) {
          changes.push_back(MapChangeUnit(*rest, MapChangeUnit::CLEAR));
          ++seen.decayed;
        }
        units.erase(it, units.end());
        break;
      }
      const double d = s.local_cache_distance;
      if (d > 0 &&
          ((std::fabs(double(u.min_x) - robot_x) > d && std::fabs(double(u.max_x) - robot_x) > d) ||
           (std::fabs(double(u.min_y) - robot_y) > d &&
            std::fabs(double(u.max_y) - robot_y) > d))) {
        changes.push_back(MapChangeUnit(u, MapChangeUnit::CLEAR));
        ++seen.distant;
        it = units.erase(it);
        continue;
      }
      if (u.stamp >= threshold) {
        changes.push_back(MapChangeUnit(u, MapChangeUnit::CLEAR));
        ++seen.redelivered;
        it = units.erase(it);
        continue;
      }
      bool changed = false;
      velnor::CacheUnit v = u;  // points shrink here; the stored box stays until the end
      const bool disjoint =
          !box_set || u.max_x < bx0 || u.min_x > bx1 || u.max_y < by0 || u.min_y > by1;
      if (!disjoint) {
        changes.push_back(MapChangeUnit(v, MapChangeUnit::CLEAR));
        std::vector<int> keep;
        for (Eigen::Index i = 0; i < v.points.cols(); ++i) {
          std::pair<int32_t, int32_t> key;
          if (!key_of(v.points(0, i), v.points(1, i), v.points(2, i), key) ||
              table.count(key) == 0) {
            keep.push_back(static_cast<int>(i));
          }
        }
        seen.reobserved_points += static_cast<size_t>(v.points.cols()) - keep.size();
        v = keepStamp(v, keep);
        changed = true;
      }
      for (const auto & det : detectors) {
        if (!det->isCrossFrustum(u.min_x, u.max_x, u.min_y, u.max_y)) {
          continue;
        }
        if (s.enable_near_blocked_protection &&
            det->reference_point_count <= s.number_points_considered_as_blocked) {
          continue;
        }
        if (!changed) {
          changes.push_back(MapChangeUnit(v, MapChangeUnit::CLEAR));
        }
        std::vector<int> keep;
        for (Eigen::Index i = 0; i < v.points.cols(); ++i) {
          const int32_t status = det->checkPointFrustumStatus(
              pcl::PointXYZ(v.points(0, i), v.points(1, i), v.points(2, i)), false);
          if (status != 1 && status != 3) {
            keep.push_back(static_cast<int>(i));
          }
        }
        seen.frustum_points += static_cast<size_t>(v.points.cols()) - keep.size();
        seen.frustum_kept += keep.size();
        v = keepStamp(v, keep);
        changed = true;
      }
      if (!changed) {
        ++it;
        continue;
      }
      if (static_cast<long>(v.points.cols()) > s.clearing_min_point_cloud) {
        v.updateEdge();
        u = v;
        changes.push_back(MapChangeUnit(u, MapChangeUnit::MARK));
        ++it;
      } else {
        it = units.erase(it);
        ++seen.erased;
      }
    }
    for (auto & c : fresh) {
      c.updateEdge();
      changes.push_back(MapChangeUnit(c, MapChangeUnit::MARK));
    }
    units.insert(units.begin(), fresh.begin(), fresh.end());
  }

  std::list<velnor::CacheUnit> units;

  /// How often each rule acted, so the test can tell that the scenes exercise all of them.
  struct Seen
  {
    size_t decayed{0};
    size_t distant{0};
    size_t redelivered{0};
    size_t reobserved_points{0};
    size_t frustum_points{0};
    size_t frustum_kept{0};
    size_t erased{0};
  } seen;

private:
  /// A copy of @p u with only the columns listed (types alike); edge and flag copied.
  static velnor::DataUnit cut(const velnor::DataUnit & u, const std::vector<int> & keep)
  {
    velnor::DataUnit out(u);
    out.points.resize(3, static_cast<Eigen::Index>(keep.size()));
    out.types.clear();
    for (size_t k = 0; k < keep.size(); ++k) {
      out.points.col(static_cast<Eigen::Index>(k)) = u.points.col(keep[k]);
      out.types.push_back(u.types[static_cast<size_t>(keep[k])]);
    }
    return out;
  }

  static velnor::CacheUnit keepStamp(const velnor::CacheUnit & u, const std::vector<int> & keep)
  {
    velnor::CacheUnit out(cut(u, keep));
    out.stamp = u.stamp;
    return out;
  }
};

void expectSameUnit(const velnor::DataUnit & want, const velnor::DataUnit & got)
{
  ASSERT_EQ(want.points.cols(), got.points.cols());
  // Bitwise equality: both sides copy the same floats.
  EXPECT_TRUE(want.points.cwiseEqual(got.points).all());
  EXPECT_EQ(want.types, got.types);
  EXPECT_EQ(want.flag, got.flag);
  EXPECT_EQ(want.min_x, got.min_x);
  EXPECT_EQ(want.min_y, got.min_y);
  EXPECT_EQ(want.max_x, got.max_x);
  EXPECT_EQ(want.max_y, got.max_y);
}

/// Random scenes: clustered clouds with near-equal heights, stray non-finite and far points,
/// sources that deliver an observation again, posed and fed detectors.
class RandomScene
{
public:
  explicit RandomScene(uint32_t seed) : rng(seed) {}

  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
  int integer(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); }
  template <typename T>
  T pick(const std::vector<T> & values)
  {
    return values[static_cast<size_t>(integer(0, static_cast<int>(values.size()) - 1))];
  }

  CellCache::Settings settings()
  {
    CellCache::Settings s;
    s.cache_resolution = pick<double>({0.05, 0.1, 0.02});
    s.decay_time = pick<double>({0.0, -1.0, 0.3, 0.7});
    s.local_cache_distance = pick<double>({0.0, 1.0, 2.5});
    s.clearing_min_point_cloud = pick<int32_t>({-1, 0, 1, 3, 10});
    s.enable_near_blocked_protection = integer(0, 1) == 1;
    s.number_points_considered_as_blocked = pick<int32_t>({-1, 0, 5, 30});
    return s;
  }

  velnor::ObservationUnit unit(double cx, double cy)
  {
    velnor::ObservationUnit u;
    u.type = semantic_map::SemanticType(1u << integer(0, 4));
    u.flag = integer(0, 1) == 1;
    const int n = pick<int>({0, 1, 5, 20, 60});
    const double spread = pick<double>({0.05, 0.2, 0.6});
    u.points.resize(3, n);
    for (int i = 0; i < n; ++i) {
      u.points(0, i) = static_cast<float>(cx + uniform(-spread, spread));
      u.points(1, i) = static_cast<float>(cy + uniform(-spread, spread));
      // Heights on a 0.5 mm lattice, so the 1 mm band is met exactly and missed narrowly.
      u.points(2, i) = static_cast<float>(pick<double>({0.0, 0.2, 0.4}) + 0.0005 * integer(0, 6));
    }
    u.updateEdge();
    // Points an upstream filter would have dropped; the box stays as it was.
    if (n > 0 && integer(0, 4) == 0) {
      const Eigen::Index i = integer(0, n - 1);
      const float nan = std::numeric_limits<float>::quiet_NaN();
      switch (integer(0, 3)) {
        case 0:
          u.points(2, i) = nan;
          break;
        case 1:
          u.points(0, i) = nan;
          break;
        case 2:
          u.points(1, i) = std::numeric_limits<float>::infinity();
          break;
        default:
          u.points(0, i) = 3e9f;
          break;
      }
    }
    return u;
  }

  Observation observation(double stamp, double cx, double cy)
  {
    Observation o = stamped(stamp);
    const int n = integer(0, 3);
    for (int i = 0; i < n; ++i) {
      o.units.push_back(unit(cx + uniform(-0.5, 0.5), cy + uniform(-0.5, 0.5)));
    }
    return o;
  }

  std::shared_ptr<FrustumDetector> detector(const std::vector<Observation> & gathered)
  {
    velnor::FrustumDetectorStrategy strategy;
    for (int32_t * code :
         {&strategy.no_reference_point,
          &strategy.out_of_theta,
          &strategy.near_range_without_point,
          &strategy.near_range_with_point,
          &strategy.far_range_without_point,
          &strategy.far_range_with_point,
          &strategy.inside_without_point,
          &strategy.inside_with_point}) {
      *code = integer(0, 5);
    }
    auto d = std::make_shared<FrustumDetector>(
        velnor_test::makeCameraInfo(), 0.3f, 3.0f, 0.1f, 0.25f, strategy);
    const velnor_test::CameraPose pose{
        uniform(-2.0, 2.0), uniform(-2.0, 2.0), uniform(0.3, 1.0), uniform(-3.1, 3.1)};
    d->clear();
    d->setTrans(pose.transform());
    geometry_msgs::msg::Polygon shape;
    for (const auto & [dx, dy] : {std::pair{-5.0, -5.0}, std::pair{5.0, 5.0}}) {
      geometry_msgs::msg::Point32 v;
      v.x = static_cast<float>(pose.x + dx);
      v.y = static_cast<float>(pose.y + dy);
      shape.points.push_back(v);
    }
    d->setShape(shape);
    const int mode = integer(0, 5);
    if (mode == 0) {
      return d;  // posed but never finished: not ready
    }
    if (mode > 1) {
      for (const auto & o : gathered) {
        for (const auto & u : o.units) {
          if (integer(0, 1) == 1) {
            d->addInputCloud(u.points);
          }
        }
      }
    }
    d->fixSetting();
    return d;
  }

  std::mt19937 rng;
};

TEST(CellCacheDifferential, SameChangesAndCacheAsTheReference)
{
  constexpr int kTrials = 2000;
  constexpr int kUpdates = 6;
  ReferenceCache::Seen seen;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    RandomScene scene(static_cast<uint32_t>(1000 + trial));
    const CellCache::Settings s = scene.settings();
    CellCache cache;
    ReferenceCache reference;
    // Each source holds its last one or two observations and delivers them on every update.
    std::vector<std::vector<Observation>> sources(static_cast<size_t>(scene.integer(0, 3)));
    double robot_x = scene.uniform(-2.0, 2.0);
    double robot_y = scene.uniform(-2.0, 2.0);
    for (int k = 0; k < kUpdates; ++k) {
      const double now = 0.2 * k + scene.uniform(0.0, 0.1);
      robot_x += scene.uniform(-0.4, 0.4);
      robot_y += scene.uniform(-0.4, 0.4);
      std::vector<Observation> gathered;
      for (auto & held : sources) {
        if (scene.integer(0, 3) > 0) {
          // Stamps on a 50 ms lattice, so sources often share one.
          const double stamp = 0.05 * std::floor((now - scene.uniform(0.0, 0.15)) / 0.05);
          held.push_back(scene.observation(
              std::max(stamp, 0.0),
              robot_x + scene.uniform(-1, 1),
              robot_y + scene.uniform(-1, 1)));
        }
        while (held.size() > static_cast<size_t>(scene.integer(1, 2))) {
          held.erase(held.begin());
        }
        gathered.insert(gathered.end(), held.begin(), held.end());
      }
      std::vector<std::shared_ptr<FrustumDetector>> detectors;
      for (int i = scene.integer(0, 2); i > 0; --i) {
        detectors.push_back(scene.detector(gathered));
      }
      std::vector<MapChangeUnit> got;
      std::vector<MapChangeUnit> want;
      cache.update(gathered, detectors, s, robot_x, robot_y, now, got);
      reference.update(gathered, detectors, s, robot_x, robot_y, now, want);
      ASSERT_EQ(want.size(), got.size()) << "update " << k;
      for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].operate, got[i].operate) << "update " << k << " change " << i;
        expectSameUnit(want[i], got[i]);
      }
      ASSERT_EQ(reference.units.size(), cache.size());
      ASSERT_EQ(reference.units.size(), cache.getUnits().size());
      auto r = reference.units.begin();
      for (const auto & unit : cache.getUnits()) {
        EXPECT_EQ(r->stamp, unit.stamp);
        expectSameUnit(*r++, unit);
      }
      if (::testing::Test::HasFailure()) {
        return;
      }
    }
    seen.decayed += reference.seen.decayed;
    seen.distant += reference.seen.distant;
    seen.redelivered += reference.seen.redelivered;
    seen.reobserved_points += reference.seen.reobserved_points;
    seen.frustum_points += reference.seen.frustum_points;
    seen.frustum_kept += reference.seen.frustum_kept;
    seen.erased += reference.seen.erased;
  }
  // The scenes must exercise every rule, not just agree on nothing.
  std::cout << "decayed " << seen.decayed << ", distant " << seen.distant << ", re-delivered "
            << seen.redelivered << ", points seen again " << seen.reobserved_points
            << ", points cleared by a frustum " << seen.frustum_points << " (kept "
            << seen.frustum_kept << "), changed units erased " << seen.erased << "\n";
  EXPECT_GT(seen.decayed, 100u);
  EXPECT_GT(seen.distant, 100u);
  EXPECT_GT(seen.redelivered, 100u);
  EXPECT_GT(seen.reobserved_points, 100u);
  EXPECT_GT(seen.frustum_points, 100u);
  EXPECT_GT(seen.frustum_kept, 100u);
  EXPECT_GT(seen.erased, 100u);
}

}  // namespace

