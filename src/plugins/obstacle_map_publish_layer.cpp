#include "lorvent/obstacle_map_publish_layer.hpp"

#include "agent/covered_area.hpp"
#include "pluginlib/class_list_macros.hpp"

namespace semantic_map {

namespace {

// Costs 1..252 spread linearly over 1..98; 253 (inscribed) 99, 254 (lethal) 100, 255 (unknown) -1.
constexpr std::array<int8_t, 256> makeCostTranslationTable()
{
  std::array<int8_t, 256> table{};
  table[0] = 0;
  for (int cost = 1; cost < 253; ++cost) {
    table[cost] = static_cast<int8_t>(1 + (cost - 1) * 97 / 251);
  }
  table[253] = 99;
  table[254] = 100;
  table[255] = -1;
  return table;
}

constexpr std::array<int8_t, 256> kCostTranslationTable = makeCostTranslationTable();

// All-ones when @p condition holds, zero otherwise.
inline int maskOf(bool condition) { return -static_cast<int>(condition); }

inline int pick(int mask, int yes, int no) { return (yes & mask) | (no & ~mask); }

// The masks are passed in so that a row loop reads them once instead of after every store. Bit
// selects instead of early returns: flagged cells are scattered, so branches on them mispredict.
// The first test that holds decides: dynamic 50, obstacle 100, covered 20, other flag 10, else the
// cost.
inline int8_t obstacleValue(
    unsigned int type,
    unsigned char cost,
    unsigned int dynamics,
    unsigned int non_obstacle,
    unsigned int covered)
{
  int value = pick(maskOf((type & covered) != 0u), 20, 10);
  value = pick(maskOf((type & ~non_obstacle) != 0u), 100, value);
  value = pick(maskOf((type & dynamics) != 0u), 50, value);
  value = pick(maskOf(type != 0u), value, kCostTranslationTable[cost]);
  return static_cast<int8_t>(value);
}

}  // namespace

const std::array<int8_t, 256> & ObstacleMapPublishLayer::costTranslationTable()
{
  return kCostTranslationTable;
}

char ObstacleMapPublishLayer::translationTypeToChar(
    const SemanticTypeBase<unsigned int> & type,
    const SemanticHeightBase<float> &,
    unsigned char cost)
{
  return static_cast<char>(obstacleValue(
      type.value,
      cost,
      agent::COMPOSITE_DYNAMICS,
      agent::NON_OBSTACLE,
      SemanticFlags::COVERED_AREA.value));
}

void ObstacleMapPublishLayer::translateCells(
    const SemanticTypeBase<unsigned int> * types,
    const float *,
    const unsigned char * costs,
    int8_t * out,
    std::size_t count)
{
  const unsigned int dynamics = agent::COMPOSITE_DYNAMICS;
  const unsigned int non_obstacle = agent::NON_OBSTACLE;
  const unsigned int covered = SemanticFlags::COVERED_AREA.value;
  if (costs == nullptr) {
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = obstacleValue(types[i].value, 255, dynamics, non_obstacle, covered);
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = obstacleValue(types[i].value, costs[i], dynamics, non_obstacle, covered);
  }
}

}  // namespace semantic_map

PLUGINLIB_EXPORT_CLASS(semantic_map::ObstacleMapPublishLayer, semantic_map::BrindlexLayer)
