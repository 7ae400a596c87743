#include "lorvent/covered_map_publish_layer.hpp"

#include <algorithm>

#include "agent/covered_area.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "util/util.hpp"

namespace semantic_map {

namespace {

inline int8_t coveredValue(uint8_t rating)
{
  switch (rating) {
    case 254:
      return 100;
    case 253:
      return 99;
    case 255:
      return -1;
    default:
      return 0;
  }
}

void reportMissingGetter()
{
  LOG_THROTTLE(
      "CoveredMapPublishLayer::translate",
      3,
      "CoveredMapPublishLayer: the covered-area getter is not set, publishing no information");
}

}  // namespace

char CoveredMapPublishLayer::translationTypeToChar(
    const SemanticTypeBase<unsigned int> & type,
    const SemanticHeightBase<float> & height,
    unsigned char cost)
{
  const auto & getter = agent::CoveredArea::CoveredAreaGetter;
  if (!getter) {
    reportMissingGetter();
    return -1;
  }
  return static_cast<char>(coveredValue(getter(type, height, cost)));
}

void CoveredMapPublishLayer::translateCells(
    const SemanticTypeBase<unsigned int> * types,
    const float * heights,
    const unsigned char * costs,
    int8_t * out,
    std::size_t count)
{
  const auto & getter = agent::CoveredArea::CoveredAreaGetter;
  if (!getter) {
    reportMissingGetter();
    std::fill_n(out, count, static_cast<int8_t>(-1));
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = coveredValue(
        getter(types[i], SemanticHeightBase<float>(heights[i]), costs ? costs[i] : 255));
  }
}

}  // namespace semantic_map

PLUGINLIB_EXPORT_CLASS(semantic_map::CoveredMapPublishLayer, semantic_map::BrindlexLayer)
