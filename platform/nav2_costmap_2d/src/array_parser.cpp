#include "nav2_costmap_2d/array_parser.hpp"

#include <sstream>
#include <string>
#include <vector>

namespace nav2_costmap_2d {

std::vector<std::vector<float>> parseVVF(const std::string & input, std::string & error_return)
{
  std::vector<std::vector<float>> result;
  std::vector<float> current;
  std::stringstream in(input);
  int depth = 0;

  while (in && !in.eof()) {
    const int next = in.peek();
    if (next == EOF) {
      break;
    }
    switch (next) {
      case '[':
        ++depth;
        if (depth > 2) {
          error_return = "Array depth greater than 2";
          return result;
        }
        in.get();
        current.clear();
        break;
      case ']':
        --depth;
        if (depth < 0) {
          error_return = "More close ] than open [";
          return result;
        }
        in.get();
        if (depth == 1) {
          result.push_back(current);
        }
        break;
      case ',':
      case ' ':
      case '\t':
        in.get();
        break;
      default: {
        // Anything else must belong to a number of an inner vector.
        if (depth != 2) {
          std::stringstream err;
          err << "Numbers at depth other than 2. Char was '" << static_cast<char>(next) << "'.";
          error_return = err.str();
          return result;
        }
        float value;
        in >> value;
        if (in) {
          current.push_back(value);
        }
        break;
      }
    }
  }

  error_return = depth != 0 ? "Unterminated vector string." : "";
  return result;
}

}  // namespace nav2_costmap_2d
