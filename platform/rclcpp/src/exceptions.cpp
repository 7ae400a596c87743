#include "rclcpp/exceptions/exceptions.hpp"

#include <string>

namespace rclcpp {
namespace exceptions {

namespace {
// Return codes of rcl/types.h.
constexpr int32_t kRetOk = 0;
constexpr int32_t kRetBadAlloc = 10;
constexpr int32_t kRetInvalidArgument = 11;
constexpr int32_t kRetInvalidRosArgs = 1003;
}  // namespace

std::string NameValidationError::format_error(
    const char * name_type, const char * name, const char * error_msg, size_t invalid_index)
{
  std::string msg;
  msg += std::string("Invalid ") + name_type + ": " + error_msg + ":\n";
  msg += std::string("  ") + name + "\n";
  msg += std::string("  ") + std::string(invalid_index, ' ') + "^\n";
  return msg;
}

void throw_from_rcl_error(
    int32_t ret,
    const std::string & prefix,
    const rcutils_error_state_t * error_state,
    reset_error_function_t reset_error)
{
  if (kRetOk == ret) {
    throw std::invalid_argument("ret is RCL_RET_OK");
  }
  if (!error_state) {
    error_state = rcutils_get_error_state();
  }
  if (!error_state) {
    throw std::runtime_error("rcl error state is not set");
  }
  std::string formatted_prefix = prefix;
  if (!prefix.empty()) {
    formatted_prefix += ": ";
  }
  RCLErrorBase base_exc(ret, error_state);
  if (reset_error) {
    reset_error();
  }
  switch (ret) {
    case kRetBadAlloc:
      throw RCLBadAlloc(base_exc);
    case kRetInvalidArgument:
      throw RCLInvalidArgument(base_exc, formatted_prefix);
    case kRetInvalidRosArgs:
      throw RCLInvalidROSArgsError(base_exc, formatted_prefix);
    default:
      throw RCLError(base_exc, formatted_prefix);
  }
}

RCLErrorBase::RCLErrorBase(int32_t ret, const rcutils_error_state_t * error_state)
    : ret(ret),
      message(error_state->message),
      file(error_state->file),
      line(error_state->line_number),
      formatted_message(message + ", at " + file + ":" + std::to_string(line))
{
}

RCLError::RCLError(
    int32_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
    : RCLError(RCLErrorBase(ret, error_state), prefix)
{
}

RCLError::RCLError(const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{
}

RCLBadAlloc::RCLBadAlloc(int32_t ret, const rcutils_error_state_t * error_state)
    : RCLBadAlloc(RCLErrorBase(ret, error_state))
{
}

RCLBadAlloc::RCLBadAlloc(const RCLErrorBase & base_exc) : RCLErrorBase(base_exc), std::bad_alloc()
{
}

RCLInvalidArgument::RCLInvalidArgument(
    int32_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
    : RCLInvalidArgument(RCLErrorBase(ret, error_state), prefix)
{
}

RCLInvalidArgument::RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::invalid_argument(prefix + base_exc.formatted_message)
{
}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
    int32_t ret, const rcutils_error_state_t * error_state, const std::string & prefix)
    : RCLInvalidROSArgsError(RCLErrorBase(ret, error_state), prefix)
{
}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
    const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{
}

}  // namespace exceptions
}  // namespace rclcpp
