#ifndef LORVENT__OBSTACLE_MAP_PUBLISH_LAYER_HPP_
#define LORVENT__OBSTACLE_MAP_PUBLISH_LAYER_HPP_

#include <array>
#include <cstddef>
#include <cstdint>

#include "lorvent/map_publish_base_layer.hpp"

namespace semantic_map {

/**
 * @brief Publishes the obstacle map: dynamic obstacles 50, other obstacles 100, covered area 20,
 * any other flag 10, and an empty cell the master costmap's cost scaled to 0..100 (255: -1).
 */
class ObstacleMapPublishLayer final : public MapPublishBaseLayer
{
public:
  char translationTypeToChar(
      const SemanticTypeBase<unsigned int> & type,
      const SemanticHeightBase<float> & height,
      unsigned char cost) override;

  /// Master cost -> occupancy value of an empty cell, shared by every obstacle map.
  static const std::array<int8_t, 256> & costTranslationTable();

protected:
  void translateCells(
      const SemanticTypeBase<unsigned int> * types,
      const float * heights,
      const unsigned char * costs,
      int8_t * out,
      std::size_t count) override;
};

}  // namespace semantic_map

#endif  // LORVENT__OBSTACLE_MAP_PUBLISH_LAYER_HPP_
