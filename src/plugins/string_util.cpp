#include "lorvent/string_util.hpp"

#include <sstream>

namespace util {

std::vector<std::string> splitString(const std::string & text, char delimiter)
{
  std::vector<std::string> pieces;
  std::istringstream stream(text);
  std::string piece;
  while (std::getline(stream, piece, delimiter)) {
    pieces.push_back(piece);
  }
  return pieces;
}

}  // namespace util
