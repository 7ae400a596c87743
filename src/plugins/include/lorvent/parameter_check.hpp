#ifndef LORVENT__PARAMETER_CHECK_HPP_
#define LORVENT__PARAMETER_CHECK_HPP_

#include <stdexcept>
#include <string>

#include "fmt/format.h"
#include "util/util.hpp"

namespace semantic_map {

/**
 * @brief Fails a layer's configure over a parameter value it cannot work with: logs an ERROR
 * naming the parameter, what it must be and the value it has, then throws.
 * @throws std::invalid_argument "Invalid parameter <full name>: <value>"
 */
template <typename Value>
[[noreturn]] void refuseParameter(
    const std::string & layer_name,
    const std::string & full_name,
    const std::string & requirement,
    const Value & value)
{
  LOG_ERROR("{}: parameter {} must be {}, got {}", layer_name, full_name, requirement, value);
  throw std::invalid_argument(fmt::format("Invalid parameter {}: {}", full_name, value));
}

}  // namespace semantic_map

#endif  // LORVENT__PARAMETER_CHECK_HPP_
