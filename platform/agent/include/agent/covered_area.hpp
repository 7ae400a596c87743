// Covered-area helpers of the robot software: which semantic flags count as dynamic obstacles or
// as no obstacle at all, and how a cell shows on the covered-area map.
#ifndef AGENT__COVERED_AREA_HPP_
#define AGENT__COVERED_AREA_HPP_

#include <cstdint>
#include <functional>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"

namespace semantic_map
{
namespace agent
{

/// DYNAMIC | PERSON | WHEELCHAIR | HOSPITAL_BED.
extern const unsigned int COMPOSITE_DYNAMICS;
/// NARROW_CORRIDOR | COVERED_AREA | STUBBORN_STAIN | CARPET: flags that never block the robot.
extern const unsigned int NON_OBSTACLE;

namespace CoveredArea
{
using Getter = std::function<uint8_t(
      const SemanticTypeBase<unsigned int> &, const SemanticHeightBase<float> &, unsigned char)>;

/**
 * Value of one cell on the covered-area map, from its type word, height word and master cost:
 * 254 for a covered cell, 255 for an uncovered cell whose master cost is 255 (unknown), 0 otherwise.
 */
extern Getter CoveredAreaGetter;
}  // namespace CoveredArea

}  // namespace agent
}  // namespace semantic_map

#endif  // AGENT__COVERED_AREA_HPP_
