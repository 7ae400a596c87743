#include "trasque/base.hpp"

namespace trasque {

Base::Base(Type type, DescType desctype, std::string_view id)
    : type(type), desctype(desctype), id(id)
{
}

bool Base::isIntersecting(const Base & other)
{
  for (const auto & point : other.getFeaturePoints()) {
    if (isIntersecting(point)) {
      return true;
    }
  }
  return false;
}

}  // namespace trasque
