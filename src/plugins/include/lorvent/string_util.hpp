#ifndef LORVENT__STRING_UTIL_HPP_
#define LORVENT__STRING_UTIL_HPP_

#include <string>
#include <vector>

namespace util {

/**
 * @brief The pieces of @p text between occurrences of @p delimiter, in order, as std::getline
 * yields them: adjacent delimiters and a leading one give empty pieces, one trailing delimiter
 * gives none, and the empty text gives no piece.
 */
std::vector<std::string> splitString(const std::string & text, char delimiter);

}  // namespace util

#endif  // LORVENT__STRING_UTIL_HPP_
