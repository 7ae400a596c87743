#ifndef BRINDLEX_NAV2_SEMANTICMAP__SEMANTIC_TYPE_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__SEMANTIC_TYPE_HPP_

#include <cstdint>
#include <limits>
#include <map>
#include <type_traits>

namespace semantic_map
{

/**
 * @brief The semantic type word of a cell: a set of flags with the size and bit layout of T.
 *
 * A cell may hold any combination of flags; layers add one with |= and withdraw it with &= ~flag.
 */
template<typename T>
class SemanticTypeBase
{
public:
  static_assert(std::is_unsigned<T>::value, "the type word is an unsigned integer");
  using value_type = T;

  constexpr SemanticTypeBase() noexcept
  : value(0) {}
  constexpr SemanticTypeBase(T word) noexcept  // NOLINT(runtime/explicit): a word is a flag set
  : value(word) {}

  constexpr operator T() const noexcept {return value;}

  constexpr SemanticTypeBase operator|(SemanticTypeBase other) const noexcept
  {
    return SemanticTypeBase(value | other.value);
  }
  constexpr SemanticTypeBase operator&(SemanticTypeBase other) const noexcept
  {
    return SemanticTypeBase(value & other.value);
  }
  constexpr SemanticTypeBase operator~() const noexcept {return SemanticTypeBase(~value);}
  SemanticTypeBase & operator|=(SemanticTypeBase other) noexcept
  {
    value |= other.value;
    return *this;
  }
  SemanticTypeBase & operator&=(SemanticTypeBase other) noexcept
  {
    value &= other.value;
    return *this;
  }
  /// True when every flag of @p flags is set.
  constexpr bool has(SemanticTypeBase flags) const noexcept
  {
    return (value & flags.value) == flags.value;
  }
  /// True when at least one flag of @p flags is set.
  constexpr bool any(SemanticTypeBase flags) const noexcept {return (value & flags.value) != 0;}

  /**
   * @brief Perception class code -> the flag constant it stands for.
   *
   * Defined and built once per process by the depth-camera library when it is loaded; entries
   * point at the constants themselves, so a lookup reads the constant's current value.
   */
  static std::map<int32_t, const SemanticTypeBase *> map_;

  T value;
};

/// The height word of a cell in metres; an empty cell holds minus infinity.
template<typename T>
class SemanticHeightBase
{
public:
  static_assert(std::is_floating_point<T>::value, "the height word is a floating-point number");
  using value_type = T;

  constexpr SemanticHeightBase() noexcept
  : value(-std::numeric_limits<T>::infinity()) {}
  constexpr SemanticHeightBase(T height) noexcept  // NOLINT(runtime/explicit)
  : value(height) {}

  constexpr operator T() const noexcept {return value;}

  T value;
};

using SemanticType = SemanticTypeBase<unsigned int>;
using SemanticHeight = SemanticHeightBase<float>;
static_assert(sizeof(SemanticType) == 4, "a type word is 32 bits");
static_assert(sizeof(SemanticHeight) == 4, "a height word is 32 bits");

namespace detail
{
// Deliberately not constexpr: each constant then gets a guarded dynamic initialiser in every
// library that uses it, and the guard (shared process-wide with the constant) lets whichever
// library is loaded first set the value once.
template<typename TypeT>
TypeT makeSemanticFlag(typename TypeT::value_type word) noexcept
{
  return TypeT(word);
}
}  // namespace detail

/**
 * @brief The named flags of the type word, as process-wide static data.
 */
template<typename TypeT>
struct SemanticTypeBaseEnum
{
  static TypeT EMPTY;
  static TypeT STATIC;
  static TypeT CHAIR;
  static TypeT DYNAMIC;
  static TypeT PERSON;
  static TypeT FORBIDDEN;
  static TypeT NARROW_CORRIDOR;
  static TypeT COVERED_AREA;
  static TypeT STUBBORN_STAIN;
  static TypeT CARPET;
  static TypeT FLOOR_LAMP;
  static TypeT ESCALATOR_ENTRANCE;
  static TypeT WHEELCHAIR;
  static TypeT HOSPITAL_BED;
};

template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::EMPTY = detail::makeSemanticFlag<TypeT>(0u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::STATIC = detail::makeSemanticFlag<TypeT>(1u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::CHAIR = detail::makeSemanticFlag<TypeT>(2u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::DYNAMIC = detail::makeSemanticFlag<TypeT>(4u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::PERSON = detail::makeSemanticFlag<TypeT>(8u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::FORBIDDEN = detail::makeSemanticFlag<TypeT>(16u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::NARROW_CORRIDOR = detail::makeSemanticFlag<TypeT>(32u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::COVERED_AREA = detail::makeSemanticFlag<TypeT>(64u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::STUBBORN_STAIN = detail::makeSemanticFlag<TypeT>(128u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::CARPET = detail::makeSemanticFlag<TypeT>(256u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::FLOOR_LAMP = detail::makeSemanticFlag<TypeT>(512u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::ESCALATOR_ENTRANCE = detail::makeSemanticFlag<TypeT>(1024u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::WHEELCHAIR = detail::makeSemanticFlag<TypeT>(2048u);
template<typename TypeT>
TypeT SemanticTypeBaseEnum<TypeT>::HOSPITAL_BED = detail::makeSemanticFlag<TypeT>(4096u);

using SemanticFlags = SemanticTypeBaseEnum<SemanticType>;

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__SEMANTIC_TYPE_HPP_
