// The picture of a semantic grid that the demo writes on exit: one colour per class, height as
// shade, cells seen free white, unknown cells grey, north up.
#ifndef EXAMPLES__SEMANTIC_GRID_IMAGE_HPP_
#define EXAMPLES__SEMANTIC_GRID_IMAGE_HPP_

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>

#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"

namespace demo
{

/// One row of the legend: a flag word bit and its colour (blue, green, red).
struct ClassColour
{
  uint32_t flag;
  const char * name;
  cv::Vec3b colour;
};

/// The legend, in priority order: a cell with several flags takes the colour of the first.
/// The flag values are the system-wide ones (semantic_type.hpp).
inline const std::array<ClassColour, 13> kClassColours{{
  {8, "PERSON", {0, 0, 230}},
  {2048, "WHEELCHAIR", {80, 0, 200}},
  {4096, "HOSPITAL_BED", {120, 0, 160}},
  {4, "DYNAMIC", {0, 120, 255}},
  {2, "CHAIR", {0, 165, 255}},
  {512, "FLOOR_LAMP", {0, 215, 255}},
  {1, "STATIC", {40, 40, 40}},
  {1024, "ESCALATOR_ENTRANCE", {140, 140, 0}},
  {16, "FORBIDDEN", {255, 0, 255}},
  {32, "NARROW_CORRIDOR", {255, 160, 0}},
  {128, "STUBBORN_STAIN", {30, 70, 140}},
  {256, "CARPET", {200, 60, 150}},
  {64, "COVERED_AREA", {120, 230, 120}},
}};

/// Unknown cells (no flag, height minus infinity).
inline const cv::Vec3b kUnknownColour{128, 128, 128};
/// Cells with a height but no flag: the cameras saw free floor there.
inline const cv::Vec3b kFreeColour{255, 255, 255};

/**
 * @brief The grid as a colour image, one pixel per cell, row 0 = the northern edge.
 *
 * A flagged cell's colour is scaled by 0.5 + 0.5 * clamp(height / 2 m, 0, 1), so low marks are
 * darker than tall ones; a flagged cell without a finite height takes the full colour. Flags that
 * are not in the legend draw as STATIC. Each cell is @p scale x @p scale pixels. The caller holds
 * the grid's mutex.
 */
cv::Mat renderSemanticGrid(const semantic_map::MapTypeAndHeight & grid, int scale = 1);

}  // namespace demo

#endif  // EXAMPLES__SEMANTIC_GRID_IMAGE_HPP_
