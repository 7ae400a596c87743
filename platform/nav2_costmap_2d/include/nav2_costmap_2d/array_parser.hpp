// Parser for the "[[x, y], [x, y], ...]" footprint notation.
#ifndef NAV2_COSTMAP_2D__ARRAY_PARSER_HPP_
#define NAV2_COSTMAP_2D__ARRAY_PARSER_HPP_

#include <string>
#include <vector>

namespace nav2_costmap_2d {

/**
 * @brief Parse a vector of vectors of floats, e.g. "[[1, 2], [3.3, 4.4]]".
 * @param error_return Set to a message on a malformed string, to "" otherwise.
 * @return What was parsed up to the first error.
 */
std::vector<std::vector<float>> parseVVF(const std::string & input, std::string & error_return);

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__ARRAY_PARSER_HPP_
