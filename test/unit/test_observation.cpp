#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "brindlex_velnor/observation.hpp"

namespace {

using semantic_map::SemanticFlags;
using velnor::CacheUnit;
using velnor::DataUnit;
using velnor::MapChangeUnit;
using velnor::Observation;
using velnor::ObservationUnit;

velnor::PointMatrix makePoints(std::initializer_list<std::initializer_list<float>> cols)
{
  velnor::PointMatrix m(3, static_cast<Eigen::Index>(cols.size()));
  Eigen::Index k = 0;
  for (const auto & c : cols) {
    auto v = c.begin();
    m(0, k) = v[0];
    m(1, k) = v[1];
    m(2, k) = v[2];
    ++k;
  }
  return m;
}

template <typename UnitT>
void expectEdge(const UnitT & u, float min_x, float min_y, float max_x, float max_y)
{
  EXPECT_FLOAT_EQ(min_x, u.min_x);
  EXPECT_FLOAT_EQ(min_y, u.min_y);
  EXPECT_FLOAT_EQ(max_x, u.max_x);
  EXPECT_FLOAT_EQ(max_y, u.max_y);
}

TEST(ObservationUnitTest, DefaultIsEmptyWithZeroEdge)
{
  ObservationUnit u;
  EXPECT_EQ(0, u.points.cols());
  EXPECT_EQ(0u, u.type.value);
  EXPECT_FALSE(u.flag);
  expectEdge(u, 0, 0, 0, 0);
  u.min_x = 5.0f;  // stale values are overwritten by the empty rule
  u.updateEdge();
  expectEdge(u, 0, 0, 0, 0);
}

TEST(ObservationUnitTest, EdgeOfOnePointIsThatPoint)
{
  ObservationUnit u;
  u.points = makePoints({{1.5f, -2.25f, 9.0f}});
  u.updateEdge();
  expectEdge(u, 1.5f, -2.25f, 1.5f, -2.25f);
}

TEST(ObservationUnitTest, EdgeOfNegativePointsIsNotWidenedToTheOrigin)
{
  ObservationUnit u;
  u.points = makePoints({{-3.0f, -1.0f, 0.0f}, {-1.0f, -4.0f, 100.0f}, {-2.0f, -2.0f, -100.0f}});
  u.updateEdge();
  expectEdge(u, -3.0f, -4.0f, -1.0f, -1.0f);
}

TEST(ObservationUnitTest, EdgeIgnoresZ)
{
  DataUnit d;
  d.points = makePoints({{1.0f, 2.0f, -50.0f}, {3.0f, 0.5f, 50.0f}});
  d.types.assign(2, SemanticFlags::STATIC);
  d.updateEdge();
  expectEdge(d, 1.0f, 0.5f, 3.0f, 2.0f);
}

TEST(DataUnitTest, DefaultHasOneEmptyType)
{
  DataUnit d;
  EXPECT_EQ(0, d.points.cols());
  ASSERT_EQ(1u, d.types.size());
  EXPECT_EQ(0u, d.types[0].value);
  EXPECT_FALSE(d.flag);
  expectEdge(d, 0, 0, 0, 0);
}

TEST(DataUnitTest, FromUnitHasOneTypePerPoint)
{
  ObservationUnit u;
  u.points = velnor::PointMatrix::Random(3, 5);
  u.type = SemanticFlags::CHAIR;
  u.flag = true;
  u.updateEdge();
  DataUnit d(u);
  ASSERT_EQ(5u, d.types.size());
  for (const auto & t : d.types) {
    EXPECT_EQ(2u, t.value);
  }
  EXPECT_TRUE(d.flag);
  EXPECT_TRUE(d.points.isApprox(u.points));
}

TEST(DataUnitTest, FromPointlessUnitHasNoTypes)
{
  ObservationUnit u;
  u.type = SemanticFlags::PERSON;
  DataUnit d(u);
  EXPECT_TRUE(d.types.empty());
  EXPECT_EQ(0, d.points.cols());
}

TEST(DataUnitTest, FromUnitKeepsAStaleEdge)
{
  ObservationUnit u;
  u.points = makePoints({{1.0f, 1.0f, 0.0f}});
  u.min_x = -10.0f;
  u.min_y = -20.0f;
  u.max_x = 30.0f;
  u.max_y = 40.0f;
  DataUnit d(u);
  expectEdge(d, -10.0f, -20.0f, 30.0f, 40.0f);
  d.updateEdge();
  expectEdge(d, 1.0f, 1.0f, 1.0f, 1.0f);
}

TEST(CacheUnitTest, ConstructionAndCopy)
{
  CacheUnit empty;
  EXPECT_DOUBLE_EQ(0.0, empty.stamp);
  ASSERT_EQ(1u, empty.types.size());

  DataUnit d;
  d.points = makePoints({{1.0f, 2.0f, 3.0f}});
  d.types.assign(1, SemanticFlags::CARPET);
  d.updateEdge();
  CacheUnit c(d);
  EXPECT_DOUBLE_EQ(0.0, c.stamp);
  c.stamp = 12.5;
  CacheUnit copy(c);
  EXPECT_DOUBLE_EQ(12.5, copy.stamp);
  EXPECT_EQ(256u, copy.types[0].value);
  copy.points(0, 0) = 99.0f;
  EXPECT_FLOAT_EQ(1.0f, c.points(0, 0));
}

TEST(MapChangeUnitTest, FromCacheUnitCarriesDataButNoStamp)
{
  CacheUnit c;
  c.points = makePoints({{1.0f, 2.0f, 3.0f}, {-1.0f, 5.0f, 0.0f}});
  c.types.assign(2, SemanticFlags::PERSON);
  c.flag = true;
  c.updateEdge();
  c.stamp = 42.0;
  MapChangeUnit m(c, MapChangeUnit::MARK);
  EXPECT_EQ(MapChangeUnit::MARK, m.operate);
  EXPECT_EQ(2, static_cast<int>(m.operate));
  EXPECT_TRUE(m.points.isApprox(c.points));
  ASSERT_EQ(2u, m.types.size());
  EXPECT_EQ(8u, m.types[1].value);
  EXPECT_TRUE(m.flag);
  expectEdge(m, -1.0f, 2.0f, 1.0f, 5.0f);

  const MapChangeUnit copy(m);
  EXPECT_EQ(MapChangeUnit::MARK, copy.operate);
  EXPECT_TRUE(copy.points.isApprox(m.points));
  EXPECT_EQ(1, static_cast<int>(MapChangeUnit::CLEAR));
}

TEST(MapChangeUnitTest, DefaultIsAnEmptyClear)
{
  MapChangeUnit m;
  EXPECT_EQ(MapChangeUnit::CLEAR, m.operate);
  EXPECT_EQ(0, m.points.cols());
}

TEST(ObservationTest, DefaultAndDeepCopyOutlivingItsSource)
{
  Observation def;
  EXPECT_EQ(0, def.stamp.sec);
  EXPECT_EQ(0u, def.stamp.nanosec);
  EXPECT_TRUE(def.frame.empty());
  EXPECT_TRUE(def.units.empty());

  auto source = std::make_unique<Observation>();
  source->stamp.sec = 7;
  source->stamp.nanosec = 9;
  source->frame = "map";
  for (int k = 0; k < 3; ++k) {
    ObservationUnit u;
    u.points = velnor::PointMatrix::Constant(3, 4 + k, static_cast<float>(k));
    u.type = SemanticFlags::DYNAMIC;
    u.updateEdge();
    source->units.push_back(u);
  }
  const float * source_data = source->units[1].points.data();
  Observation copy(*source);
  EXPECT_NE(source_data, copy.units[1].points.data());
  source.reset();

  EXPECT_EQ(7, copy.stamp.sec);
  EXPECT_EQ(9u, copy.stamp.nanosec);
  EXPECT_EQ("map", copy.frame);
  ASSERT_EQ(3u, copy.units.size());
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(4 + k, copy.units[k].points.cols());
    EXPECT_TRUE((copy.units[k].points.array() == static_cast<float>(k)).all());
    EXPECT_EQ(4u, copy.units[k].type.value);
  }

  Observation assigned;
  assigned = copy;
  copy.units[0].points(0, 0) = -1.0f;
  EXPECT_FLOAT_EQ(0.0f, assigned.units[0].points(0, 0));
}

}  // namespace
