// A stand-alone library that carries its own definitions of the flag constants and of the code
// table, as any other library of the process may. Its table initialiser deliberately builds a
// different table, so a second initialisation would be visible.
#include <cstddef>
#include <cstdint>
#include <map>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"

namespace semantic_map {
namespace second_library {
template <typename TypeT>
std::map<int32_t, const TypeT *> buildOtherTable()
{
  using E = SemanticTypeBaseEnum<TypeT>;
  return {{1, &E::PERSON}, {2, &E::PERSON}, {-7, &E::FORBIDDEN}};
}
}  // namespace second_library

template <typename T>
std::map<int32_t, const SemanticTypeBase<T> *> SemanticTypeBase<T>::map_ =
    second_library::buildOtherTable<SemanticTypeBase<T>>();

template std::map<int32_t, const SemanticTypeBase<unsigned int> *>
    SemanticTypeBase<unsigned int>::map_;
}  // namespace semantic_map

extern "C" {

std::size_t secondLibraryTableSize() { return semantic_map::SemanticType::map_.size(); }

const void * secondLibraryTableAddress() { return &semantic_map::SemanticType::map_; }

// Sum of all fourteen flags as this library sees them (8191 when they hold their bits).
unsigned int secondLibraryFlagSum()
{
  using F = semantic_map::SemanticFlags;
  return F::EMPTY + F::STATIC + F::CHAIR + F::DYNAMIC + F::PERSON + F::FORBIDDEN +
         F::NARROW_CORRIDOR + F::COVERED_AREA + F::STUBBORN_STAIN + F::CARPET + F::FLOOR_LAMP +
         F::ESCALATOR_ENTRANCE + F::WHEELCHAIR + F::HOSPITAL_BED;
}

const void * secondLibraryChairAddress() { return &semantic_map::SemanticFlags::CHAIR; }
}
