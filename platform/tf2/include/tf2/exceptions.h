// Exceptions thrown by tf2 lookups.
#ifndef TF2__EXCEPTIONS_H_
#define TF2__EXCEPTIONS_H_

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tf2/visibility_control.h"

namespace tf2 {

enum class TF2Error : std::uint8_t
{
  TF2_NO_ERROR = 0,
  TF2_LOOKUP_ERROR = 1,
  TF2_CONNECTIVITY_ERROR = 2,
  TF2_EXTRAPOLATION_ERROR = 3,
  TF2_INVALID_ARGUMENT_ERROR = 4,
  TF2_TIMEOUT_ERROR = 5,
  TF2_TRANSFORM_ERROR = 6
};

/// Base of every tf2 exception.
class TransformException : public std::runtime_error
{
public:
  TF2_PUBLIC
  explicit TransformException(const std::string errorDescription)
      : std::runtime_error(errorDescription)
  {
  }
};

/// The two frames are in different trees (no common ancestor).
class ConnectivityException : public TransformException
{
public:
  TF2_PUBLIC
  explicit ConnectivityException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {
  }
};

/// A frame is unknown (or the tree has a loop).
class LookupException : public TransformException
{
public:
  TF2_PUBLIC
  explicit LookupException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {
  }
};

/// The requested time is outside the data held for a frame of the chain.
class ExtrapolationException : public TransformException
{
public:
  TF2_PUBLIC
  explicit ExtrapolationException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {
  }
};

/// An argument is invalid (e.g. an empty frame id or one starting with '/').
class InvalidArgumentException : public TransformException
{
public:
  TF2_PUBLIC
  explicit InvalidArgumentException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {
  }
};

/// A wait for a transform ran out of time.
class TimeoutException : public TransformException
{
public:
  TF2_PUBLIC
  explicit TimeoutException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {
  }
};

}  // namespace tf2

#endif  // TF2__EXCEPTIONS_H_
