#include <gtest/gtest.h>

#include "agent/covered_area.hpp"

using semantic_map::SemanticFlags;
using semantic_map::SemanticHeight;
using semantic_map::SemanticType;
namespace agent = semantic_map::agent;

TEST(CoveredArea, MasksMatchTheNamedFlags)
{
  EXPECT_EQ(
    agent::COMPOSITE_DYNAMICS,
    SemanticFlags::DYNAMIC | SemanticFlags::PERSON | SemanticFlags::WHEELCHAIR |
    SemanticFlags::HOSPITAL_BED);
  EXPECT_EQ(
    agent::NON_OBSTACLE,
    SemanticFlags::NARROW_CORRIDOR | SemanticFlags::COVERED_AREA | SemanticFlags::STUBBORN_STAIN |
    SemanticFlags::CARPET);
  EXPECT_EQ(agent::COMPOSITE_DYNAMICS & agent::NON_OBSTACLE, 0u);
}

TEST(CoveredArea, GetterRanksCoveredOverUnknown)
{
  const auto & getter = agent::CoveredArea::CoveredAreaGetter;
  ASSERT_TRUE(static_cast<bool>(getter));
  const SemanticHeight height(0.1f);
  const SemanticType covered_chair = SemanticFlags::COVERED_AREA | SemanticFlags::CHAIR;

  EXPECT_EQ(getter(covered_chair, height, 0), 254);
  EXPECT_EQ(getter(covered_chair, height, 255), 254);
  EXPECT_EQ(getter(SemanticType(SemanticFlags::STATIC), height, 255), 255);
  EXPECT_EQ(getter(SemanticType(SemanticFlags::EMPTY), SemanticHeight(), 254), 0);
  EXPECT_EQ(getter(SemanticType(SemanticFlags::PERSON), height, 100), 0);
}
