#include "brindlex_velnor/semantic_code.hpp"

#include <map>
#include <utility>

namespace semantic_map {
namespace detail {

// Perception class code -> flag constant. Rows point at the constants, not at copies of their
// values, so that every library in the process reads the one shared object.
template <typename TypeT>
std::map<int32_t, const TypeT *> buildSemanticCodeTable()
{
  using E = SemanticTypeBaseEnum<TypeT>;
  const std::pair<int32_t, const TypeT *> rows[] = {
      {1, &E::EMPTY},
      {2, &E::STATIC},
      {3, &E::DYNAMIC},
      {100, &E::EMPTY},
      {101, &E::STATIC},
      {102, &E::STATIC},
      {103, &E::STUBBORN_STAIN},
      {104, &E::STUBBORN_STAIN},
      {105, &E::CARPET},
      {106, &E::ESCALATOR_ENTRANCE},
      {107, &E::STATIC},
      {108, &E::FLOOR_LAMP},
      {109, &E::STATIC},
      {200, &E::STATIC},
      {201, &E::CHAIR},
      {202, &E::CHAIR},
      {203, &E::WHEELCHAIR},
      {204, &E::HOSPITAL_BED},
      {300, &E::PERSON},
      {400, &E::EMPTY},
      {401, &E::EMPTY},
      {402, &E::STATIC},
      {403, &E::STATIC},
      {404, &E::STATIC},
      {405, &E::STATIC},
      {406, &E::EMPTY},
      {407, &E::EMPTY},
      {408, &E::EMPTY},
      {409, &E::STATIC},
      {500, &E::NARROW_CORRIDOR},
  };
  std::map<int32_t, const TypeT *> table;
  for (const auto & row : rows) {
    table.insert(row);
  }
  return table;
}

}  // namespace detail

// Defined as a template member so that the table, like the flag constants, is a process-unique
// object with its own once-only guard: a second library carrying the same definition finds the
// table built and neither rebuilds it nor registers a second destruction.
template <typename T>
std::map<int32_t, const SemanticTypeBase<T> *> SemanticTypeBase<T>::map_ =
    detail::buildSemanticCodeTable<SemanticTypeBase<T>>();

template std::map<int32_t, const SemanticTypeBase<unsigned int> *>
    SemanticTypeBase<unsigned int>::map_;

// The twelve flags this library defines (FORBIDDEN and COVERED_AREA belong to the plug-ins).
template SemanticType SemanticTypeBaseEnum<SemanticType>::EMPTY;
template SemanticType SemanticTypeBaseEnum<SemanticType>::STATIC;
template SemanticType SemanticTypeBaseEnum<SemanticType>::CHAIR;
template SemanticType SemanticTypeBaseEnum<SemanticType>::DYNAMIC;
template SemanticType SemanticTypeBaseEnum<SemanticType>::PERSON;
template SemanticType SemanticTypeBaseEnum<SemanticType>::NARROW_CORRIDOR;
template SemanticType SemanticTypeBaseEnum<SemanticType>::STUBBORN_STAIN;
template SemanticType SemanticTypeBaseEnum<SemanticType>::CARPET;
template SemanticType SemanticTypeBaseEnum<SemanticType>::FLOOR_LAMP;
template SemanticType SemanticTypeBaseEnum<SemanticType>::ESCALATOR_ENTRANCE;
template SemanticType SemanticTypeBaseEnum<SemanticType>::WHEELCHAIR;
template SemanticType SemanticTypeBaseEnum<SemanticType>::HOSPITAL_BED;

}  // namespace semantic_map

namespace velnor {

semantic_map::SemanticType semanticTypeFromCode(int32_t code)
{
  const auto & table = semantic_map::SemanticType::map_;
  const auto row = table.find(code);
  if (row != table.end()) {
    return *row->second;
  }
  return code == 0 ? semantic_map::SemanticFlags::EMPTY : semantic_map::SemanticFlags::STATIC;
}

}  // namespace velnor
