#ifndef BRINDLEX_VELNOR__SEMANTIC_CODE_HPP_
#define BRINDLEX_VELNOR__SEMANTIC_CODE_HPP_

#include <cstdint>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"

namespace velnor {

/**
 * @brief Flag word of a perception class code.
 *
 * A code of the table `semantic_map::SemanticType::map_` gives the current value of the constant
 * its row points to; 0 gives EMPTY; every other code (negative ones included) gives STATIC.
 * The table is built when libvelnor is loaded and never changes, so any thread may call this.
 */
semantic_map::SemanticType semanticTypeFromCode(int32_t code);

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__SEMANTIC_CODE_HPP_
