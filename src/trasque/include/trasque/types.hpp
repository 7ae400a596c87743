#ifndef TRASQUE__TYPES_HPP_
#define TRASQUE__TYPES_HPP_

#include <cstdint>
#include <string_view>

namespace trasque {

/// Kind of a zone, as named by the "type" key of the zone file.
enum class Type : int32_t
{
  NONE = 0,
  ERASE = 1,
  FORBIDDEN = 2,
  UNCLEANABLE = 3,
  NARROW_CORRIDOR = 4,
};

/// Shape of a zone, as named by the "desctype" key of the zone file.
enum class DescType : int32_t
{
  NONE = 0,
  CIRCLE_LIST = 1,
  BLOCK = 2,
  VIRTUAL_WALL = 3,
};

/**
 * @brief Zone kind named by a zone-file string ("erase", "forbidden", "uncleanable",
 * "narrow corridor"). The match is exact and case-sensitive; any other string gives Type::NONE.
 */
Type getType(std::string_view name);

/**
 * @brief Zone shape named by a zone-file string ("circle", "block", "virtualWall"). The match is
 * exact and case-sensitive; any other string gives DescType::NONE.
 */
DescType getDescType(std::string_view name);

}  // namespace trasque

#endif  // TRASQUE__TYPES_HPP_
