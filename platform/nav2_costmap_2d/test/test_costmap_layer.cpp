// CostmapLayer: clearing, extra bounds, size matching and the merge rules.
#include <gtest/gtest.h>

#include <memory>

#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_layer.hpp"
#include "nav2_costmap_2d/layered_costmap.hpp"

namespace {

using nav2_costmap_2d::Costmap2D;
using nav2_costmap_2d::LETHAL_OBSTACLE;
using nav2_costmap_2d::NO_INFORMATION;

// Exposes the protected helpers; attached to a costmap without a node.
class PlainLayer : public nav2_costmap_2d::CostmapLayer
{
public:
  explicit PlainLayer(nav2_costmap_2d::LayeredCostmap * parent)
  {
    layered_costmap_ = parent;
    enabled_ = true;
    current_ = true;
  }

  void reset() override {}
  bool isClearable() override { return true; }
  void updateBounds(double, double, double, double *, double *, double *, double *) override {}
  void updateCosts(Costmap2D &, int, int, int, int) override {}

  using CostmapLayer::touch;
  using CostmapLayer::updateWithAddition;
  using CostmapLayer::updateWithMax;
  using CostmapLayer::updateWithOverwrite;
  using CostmapLayer::updateWithTrueOverwrite;
  using CostmapLayer::useExtraBounds;

  void setEnabled(bool enabled) { enabled_ = enabled; }
};

class CostmapLayerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    layered_.resizeMap(10, 8, 0.5, -2.0, 1.0);
    layer_.matchSize();
    layer_.resetMapToValue(0, 0, 10, 8, LETHAL_OBSTACLE);
  }

  nav2_costmap_2d::LayeredCostmap layered_{"map", false, false};
  PlainLayer layer_{&layered_};
};

TEST_F(CostmapLayerTest, MatchSizeFollowsTheMaster)
{
  EXPECT_EQ(layer_.getSizeInCellsX(), 10u);
  EXPECT_EQ(layer_.getSizeInCellsY(), 8u);
  EXPECT_DOUBLE_EQ(layer_.getResolution(), 0.5);
  EXPECT_DOUBLE_EQ(layer_.getOriginX(), -2.0);
  EXPECT_DOUBLE_EQ(layer_.getOriginY(), 1.0);
}

TEST_F(CostmapLayerTest, ClearAreaClearsStrictlyInside)
{
  layer_.clearArea(2, 1, 6, 5, false);
  for (unsigned int y = 0; y < 8; ++y) {
    for (unsigned int x = 0; x < 10; ++x) {
      const bool inside = x > 2 && x < 6 && y > 1 && y < 5;
      EXPECT_EQ(layer_.getCost(x, y), inside ? NO_INFORMATION : LETHAL_OBSTACLE) << x << "," << y;
    }
  }
  EXPECT_FALSE(layer_.isCurrent());
}

TEST_F(CostmapLayerTest, InvertedClearAreaKeepsOnlyTheStrictInside)
{
  layer_.clearArea(2, 1, 6, 5, true);
  for (unsigned int y = 0; y < 8; ++y) {
    for (unsigned int x = 0; x < 10; ++x) {
      const bool inside = x > 2 && x < 6 && y > 1 && y < 5;
      EXPECT_EQ(layer_.getCost(x, y), inside ? LETHAL_OBSTACLE : NO_INFORMATION) << x << "," << y;
    }
  }
  EXPECT_FALSE(layer_.isCurrent());
}

TEST_F(CostmapLayerTest, ClearAreaOfAdjacentBordersClearsNothing)
{
  layer_.clearArea(3, 3, 4, 4, false);
  for (unsigned int i = 0; i < 80; ++i) {
    EXPECT_EQ(layer_.getCost(i), LETHAL_OBSTACLE);
  }
}

TEST_F(CostmapLayerTest, ExtraBoundsWidenTheNextBoundsOnce)
{
  double min_x = 0.0, min_y = 0.0, max_x = 1.0, max_y = 1.0;
  layer_.useExtraBounds(&min_x, &min_y, &max_x, &max_y);
  EXPECT_DOUBLE_EQ(min_x, 0.0);
  EXPECT_DOUBLE_EQ(max_x, 1.0);

  layer_.addExtraBounds(-1.0, 0.5, 0.5, 2.0);
  layer_.addExtraBounds(-0.5, -3.0, 0.2, 1.5);
  layer_.useExtraBounds(&min_x, &min_y, &max_x, &max_y);
  EXPECT_DOUBLE_EQ(min_x, -1.0);
  EXPECT_DOUBLE_EQ(min_y, -3.0);
  // Extra bounds never shrink what the layer reported.
  EXPECT_DOUBLE_EQ(max_x, 1.0);
  EXPECT_DOUBLE_EQ(max_y, 2.0);

  double again_min_x = 0.0, again_min_y = 0.0, again_max_x = 1.0, again_max_y = 1.0;
  layer_.useExtraBounds(&again_min_x, &again_min_y, &again_max_x, &again_max_y);
  EXPECT_DOUBLE_EQ(again_min_x, 0.0);
  EXPECT_DOUBLE_EQ(again_min_y, 0.0);
  EXPECT_DOUBLE_EQ(again_max_x, 1.0);
  EXPECT_DOUBLE_EQ(again_max_y, 1.0);
}

TEST_F(CostmapLayerTest, ExtraBoundsStartFromAnEmptyBox)
{
  // A single small box must come through unchanged, not merged with a stale default.
  double min_x = 1e9, min_y = 1e9, max_x = -1e9, max_y = -1e9;
  layer_.addExtraBounds(2.0, 3.0, 4.0, 5.0);
  layer_.useExtraBounds(&min_x, &min_y, &max_x, &max_y);
  EXPECT_DOUBLE_EQ(min_x, 2.0);
  EXPECT_DOUBLE_EQ(min_y, 3.0);
  EXPECT_DOUBLE_EQ(max_x, 4.0);
  EXPECT_DOUBLE_EQ(max_y, 5.0);
}

TEST_F(CostmapLayerTest, TouchGrowsTheBox)
{
  double min_x = 0.0, min_y = 0.0, max_x = 1.0, max_y = 1.0;
  layer_.touch(-2.0, 3.0, &min_x, &min_y, &max_x, &max_y);
  EXPECT_DOUBLE_EQ(min_x, -2.0);
  EXPECT_DOUBLE_EQ(min_y, 0.0);
  EXPECT_DOUBLE_EQ(max_x, 1.0);
  EXPECT_DOUBLE_EQ(max_y, 3.0);
}

class CostmapLayerMerge : public CostmapLayerTest
{
protected:
  void SetUp() override
  {
    CostmapLayerTest::SetUp();
    master_ = layered_.getCostmap();
    // Layer row 0: unknown, 10, 200. Master row 0: 100, unknown, 100.
    layer_.setCost(0, 0, NO_INFORMATION);
    layer_.setCost(1, 0, 10);
    layer_.setCost(2, 0, 200);
    master_->setCost(0, 0, 100);
    master_->setCost(1, 0, NO_INFORMATION);
    master_->setCost(2, 0, 100);
  }

  Costmap2D * master_{nullptr};
};

TEST_F(CostmapLayerMerge, MaxKeepsTheHigherKnownCost)
{
  layer_.updateWithMax(*master_, 0, 0, 3, 1);
  EXPECT_EQ(master_->getCost(0, 0), 100);
  EXPECT_EQ(master_->getCost(1, 0), 10);
  EXPECT_EQ(master_->getCost(2, 0), 200);
}

TEST_F(CostmapLayerMerge, OverwriteSkipsUnknownCells)
{
  layer_.updateWithOverwrite(*master_, 0, 0, 3, 1);
  EXPECT_EQ(master_->getCost(0, 0), 100);
  EXPECT_EQ(master_->getCost(1, 0), 10);
  EXPECT_EQ(master_->getCost(2, 0), 200);
  layer_.updateWithTrueOverwrite(*master_, 0, 0, 3, 1);
  EXPECT_EQ(master_->getCost(0, 0), NO_INFORMATION);
}

TEST_F(CostmapLayerMerge, AdditionStaysBelowInscribed)
{
  layer_.updateWithAddition(*master_, 0, 0, 3, 1);
  EXPECT_EQ(master_->getCost(0, 0), 100);
  EXPECT_EQ(master_->getCost(1, 0), 10);
  EXPECT_EQ(master_->getCost(2, 0), nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE - 1);
}

TEST_F(CostmapLayerMerge, DisabledLayerWritesNothing)
{
  layer_.setEnabled(false);
  layer_.updateWithMax(*master_, 0, 0, 3, 1);
  layer_.updateWithTrueOverwrite(*master_, 0, 0, 3, 1);
  EXPECT_EQ(master_->getCost(0, 0), 100);
  EXPECT_EQ(master_->getCost(1, 0), NO_INFORMATION);
}

}  // namespace
