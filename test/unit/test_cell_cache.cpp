#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
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

/// An observation stamped @p stamp seconds (whole milliseconds), one unit per spec.
Observation observation(double stamp, const std::vector<UnitSpec> & units)
{
  Observation o;
  const auto ms = static_cast<int64_t>(std::llround(stamp * 1000.0));
  o.stamp.sec = static_cast<int32_t>(ms / 1000);
  o.stamp.nanosec = static_cast<uint32_t>((ms % 1000) * 1000000);
  o.frame = "map";
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
      {"index 0 spans both signs",
       {{kStatic, {{-0.02f, 0.01f, 0.3f}}}, {kChair, {{0.02f, 0.01f, 0.5f}, {0.06f, 0.01f, 0.1f}}}},
       {{kMark, {}, {}}, {kMark, {{0.02f, 0.01f, 0.5f}, {0.06f, 0.01f, 0.1f}}, {3, 2}}}},
      {"non-finite points and cells beyond int32 are dropped before binning",
       {{kPerson, {{0.1f, 0.1f, kNaN}, {1e9f, 0.1f, 2.0f}, {0.1f, -1e9f, 2.0f}, {kInf, 0.1f, 1.0f}}},
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

TEST(CellCacheBinning, NewUnitsNewestFirstEqualStampsInArrivalOrder)
{
  CellCache cache;
  std::vector<MapChangeUnit> changes;
  cache.update(
      {observation(1.0, {{kStatic, {{1.0f, 0.0f, 0.0f}}}}),
       observation(3.0, {{kStatic, {{3.0f, 0.0f, 0.0f}}}, {kStatic, {{3.5f, 0.0f, 0.0f}}}}),
       observation(2.0, {{kStatic, {{2.0f, 0.0f, 0.0f}}}}),
       observation(3.0, {{kStatic, {{4.0f, 0.0f, 0.0f}}}})},
      {},
      settings(),
      0.0,
      0.0,
      10.0,
      changes);
  std::vector<float> xs;
  for (const auto & change : changes) {
    xs.push_back(change.points(0, 0));
  }
  EXPECT_EQ((std::vector<float>{3.0f, 3.5f, 4.0f, 2.0f, 1.0f}), xs);
  std::vector<double> stamps;
  for (const auto & unit : cache.getUnits()) {
    stamps.push_back(unit.stamp);
  }
  EXPECT_EQ((std::vector<double>{3.0, 3.0, 3.0, 2.0, 1.0}), stamps);
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
  const std::vector<WalkCase> cases = {
      {"nothing gathered, empty cache", {}, with(1.0, 1.0), 0.0, 0.0, 5.0, {}, {}, 0},
      {"decayed tail cleared oldest last",
       kThreeUnits, with(1.5, 0.0), 0.0, 0.0, 4.0, {},
       {unitAt(kClear, 2.0f), unitAt(kClear, 1.0f)}, 1},
      {"decay time 0 disables decay", kThreeUnits, with(0.0, 0.0), 0.0, 0.0, 1e6, {}, {}, 3},
      {"negative decay time disables decay", kThreeUnits, with(-1.0, 0.0), 0.0, 0.0, 1e6, {}, {},
       3},
      {"distance rule on x", kThreeUnits, with(0.0, 0.5), 2.0, 0.0, 4.0, {},
       {unitAt(kClear, 3.0f), unitAt(kClear, 1.0f)}, 1},
      {"distance rule on y", kThreeUnits, with(0.0, 0.5), 2.0, 0.6, 4.0, {},
       {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f), unitAt(kClear, 1.0f)}, 0},
      {"distance 0 disables the rule", kThreeUnits, with(0.0, 0.0), 100.0, 100.0, 4.0, {}, {}, 3},
      {"both x edges far although the robot lies between them",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.1f}, {3.0f, 0.0f, 0.1f}}}}}},
       with(0.0, 0.9), 2.0, 0.0, 4.0, {},
       {{kClear, {{1.0f, 0.0f, 0.1f}, {3.0f, 0.0f, 0.1f}}, {kStatic, kStatic}}}, 0},
      {"re-delivery: the old copy is withdrawn, the new one applied",
       kThreeUnits, with(0.0, 0.0), 0.0, 0.0, 4.0,
       {observation(2.0, {{kStatic, {{2.0f, 0.0f, 0.1f}}}})},
       {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f), unitAt(kMark, 2.0f)}, 2},
      {"nothing gathered: cached units newer than now count as re-delivered",
       kThreeUnits, with(0.0, 0.0), 0.0, 0.0, 2.0, {},
       {unitAt(kClear, 3.0f), unitAt(kClear, 2.0f)}, 1},
      {"re-observation removes the points of cells seen again",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}, {1.52f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {{kClear, {{1.0f, 0.0f, 0.2f}, {1.52f, 0.0f, 0.2f}}, {kStatic, kStatic}},
        unitAt(kMark, 1.0f, 0.2f),
        {kMark, {{1.51f, 0.0f, 0.1f}}, {kChair}}}, 2},
      {"re-observed unit left with no points is erased",
       {{1.0, {{kStatic, {{1.51f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {unitAt(kClear, 1.51f, 0.2f), {kMark, {{1.51f, 0.0f, 0.1f}}, {kChair}}}, 1},
      {"a touching box counts as overlap",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.5f, 2.0f, 0.1f}, {3.0f, 0.5f, 0.1f}}}})},
       {{kClear, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}, {kStatic, kStatic}},
        {kMark, {{1.0f, 0.0f, 0.2f}, {1.5f, 0.5f, 0.2f}}, {kStatic, kStatic}},
        {kMark, {{1.5f, 2.0f, 0.1f}, {3.0f, 0.5f, 0.1f}}, {kChair, kChair}}}, 2},
      {"a disjoint box leaves the unit alone",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.5f, 0.01f, 0.1f}}}})},
       {{kMark, {{1.5f, 0.01f, 0.1f}}, {kChair}}}, 2},
      {"re-observation keeps more than the clearing minimum only",
       {{1.0, {{kStatic, {{1.0f, 0.0f, 0.2f}, {1.52f, 0.0f, 0.2f}}}}}},
       with(0.0, 0.0, 1), 0.0, 0.0, 6.0,
       {observation(5.0, {{kChair, {{1.51f, 0.0f, 0.1f}}}})},
       {{kClear, {{1.0f, 0.0f, 0.2f}, {1.52f, 0.0f, 0.2f}}, {kStatic, kStatic}},
        {kMark, {{1.51f, 0.0f, 0.1f}}, {kChair}}}, 1},
  };
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
  }
}

TEST(CellCacheWalk, ChangesAreAppendedAndClearDropsSilently)
{
  CellCache cache;
  std::vector<MapChangeUnit> changes(2);
  cache.update({observation(1.0, {{kStatic, {{1.0f, 0.0f, 0.1f}}}})}, {}, settings(), 0.0, 0.0,
               1.0, changes);
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
  std::vector<MapChangeUnit> clearWith(
      const Points & points, const CellCache::Settings & s, bool use_detector = true)
  {
    std::vector<MapChangeUnit> changes;
    cache.update({observation(1.0, {{kChair, points}})}, {}, settings(), 0.0, 0.0, 1.0, changes);
    changes.clear();
    std::vector<std::shared_ptr<FrustumDetector>> detectors;
    if (use_detector) {
      detectors.push_back(camera.detector);
    }
    cache.update({}, detectors, s, 0.0, 0.0, 2.0, changes);
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
      {camera.cell(4, 3, 0.1), 1},   // seen in its own cell
      {camera.cell(6, 5, 0.3), 2},   // hidden behind a nearer point
      {camera.cell(6, 4, 0.0), 3},   // inside, nothing seen on its bearing
      {camera.cell(6, 3, 0.3), 5},   // inside, above what was seen on its bearing
      {camera.behind(1.0), 0},       // outside the view
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
    int fed_points;           ///< copies of one seen point fed to the detector; -1: not ready
    bool protect;
    int32_t blocked;
    int32_t min_points;
    bool seen_point_cached;   ///< cache the point the camera saw (status 1)
    bool hidden_point_cached; ///< cache a point hidden behind it (status 2)
    bool far_away;            ///< the cached unit lies beside the frustum box
    std::vector<int> ops;
    size_t cached;
  };
  const std::vector<Case> cases = {
      {"crossed, no point seen free: withdrawn and applied unchanged", 1, false, 0, 0, false, true,
       false, {kClear, kMark}, 1},
      {"crossed, no point seen free, not above the minimum: erased", 1, false, 0, 1, false, true,
       false, {kClear}, 0},
      {"minimum 0: one remaining point survives", 1, false, 0, 0, true, true, false,
       {kClear, kMark}, 1},
      {"minimum 0: no remaining point is erased", 1, false, 0, 0, true, false, false, {kClear},
       0},
      {"protected, 100 reference points: blocked", 100, true, 100, 0, true, true, false, {}, 1},
      {"protected, 101 reference points: clears", 101, true, 100, 0, true, true, false,
       {kClear, kMark}, 1},
      {"unprotected, few reference points: clears", 1, false, 100, 0, true, true, false,
       {kClear, kMark}, 1},
      {"not ready: withdrawn and applied unchanged", -1, false, 0, 0, true, true, false,
       {kClear, kMark}, 1},
      {"box beside the frustum: untouched", 1, false, 0, 0, false, false, true, {}, 1},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    cache.clear();
    camera.reset();
    if (c.fed_points >= 0) {
      camera.feed(Points(
          static_cast<size_t>(c.fed_points), camera.cell(4, 3, 0.1)));
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
      const size_t survivors = c.seen_point_cached && c.fed_points > 0 &&
                                       !(c.protect && c.fed_points <= c.blocked)
                                   ? points.size() - 1
                                   : points.size();
      EXPECT_EQ(static_cast<Eigen::Index>(survivors), changes[1].points.cols());
    }
  }
}

}  // namespace
