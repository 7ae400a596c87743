#ifndef RCUTILS_MESSAGE_HPP_
#define RCUTILS_MESSAGE_HPP_

#include <cstdarg>
#include <cstdio>
#include <string>

namespace velnor_test {

/// The text of one rcutils log call, as an output handler receives it; cut at 1023 characters.
/// Formats from a copy of @p args, so the handler can still pass them on to the previous one.
inline std::string formatRcutilsMessage(const char * format, va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char text[1024];
  std::vsnprintf(text, sizeof(text), format, copy);
  va_end(copy);
  return text;
}

}  // namespace velnor_test

#endif  // RCUTILS_MESSAGE_HPP_
