#include "trasque/types.hpp"

#include <map>
#include <string>

namespace trasque {

namespace {

// Looks the name up without inserting it, so unknown names never grow the table.
template <typename E>
E lookUp(const std::map<std::string, E, std::less<>> & table, std::string_view name)
{
  const auto it = table.find(name);
  return it == table.end() ? E::NONE : it->second;
}

}  // namespace

Type getType(std::string_view name)
{
  // Built once, on first use; function-local static initialisation is thread-safe.
  static const std::map<std::string, Type, std::less<>> table{
      {"erase", Type::ERASE},
      {"forbidden", Type::FORBIDDEN},
      {"uncleanable", Type::UNCLEANABLE},
      {"narrow corridor", Type::NARROW_CORRIDOR},
  };
  return lookUp(table, name);
}

DescType getDescType(std::string_view name)
{
  static const std::map<std::string, DescType, std::less<>> table{
      {"circle", DescType::CIRCLE_LIST},
      {"block", DescType::BLOCK},
      {"virtualWall", DescType::VIRTUAL_WALL},
  };
  return lookUp(table, name);
}

}  // namespace trasque
