#ifndef LORVENT__COVERED_MAP_PUBLISH_LAYER_HPP_
#define LORVENT__COVERED_MAP_PUBLISH_LAYER_HPP_

#include <cstddef>
#include <cstdint>

#include "lorvent/map_publish_base_layer.hpp"

namespace semantic_map {

/**
 * @brief Publishes the map of the area already cleaned, as the robot software's covered-area
 * getter rates each cell: 254 -> 100, 253 -> 99, 255 -> -1, anything else 0.
 *
 * While the getter is unset every cell is -1 (no information), with a throttled ERROR record.
 */
class CoveredMapPublishLayer final : public MapPublishBaseLayer
{
public:
  char translationTypeToChar(
      const SemanticTypeBase<unsigned int> & type,
      const SemanticHeightBase<float> & height,
      unsigned char cost) override;

protected:
  void translateCells(
      const SemanticTypeBase<unsigned int> * types,
      const float * heights,
      const unsigned char * costs,
      int8_t * out,
      std::size_t count) override;
};

}  // namespace semantic_map

#endif  // LORVENT__COVERED_MAP_PUBLISH_LAYER_HPP_
