#include "agent/covered_area.hpp"

namespace semantic_map
{
namespace agent
{

// Plain values rather than the flag constants: the constants of the semantic type header are set
// by dynamic initialisation, whose order against these is not defined.
const unsigned int COMPOSITE_DYNAMICS = 4u | 8u | 2048u | 4096u;
const unsigned int NON_OBSTACLE = 32u | 64u | 128u | 256u;

namespace CoveredArea
{
namespace
{
constexpr unsigned int kCoveredArea = 64u;
constexpr unsigned char kNoInformation = 255;
}  // namespace

Getter CoveredAreaGetter =
  [](const SemanticTypeBase<unsigned int> & type, const SemanticHeightBase<float> &,
    unsigned char cost) -> uint8_t {
    if ((type.value & kCoveredArea) != 0u) {
      return 254;
    }
    return cost == kNoInformation ? 255 : 0;
  };
}  // namespace CoveredArea

}  // namespace agent
}  // namespace semantic_map
