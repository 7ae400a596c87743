// Logging configuration shared by the library's sources (not installed).
#ifndef LOGGING_INTERNAL_HPP_
#define LOGGING_INTERNAL_HPP_

#include <string>

namespace rclcpp {
namespace detail {

/// Sets the rcutils default severity under the logging lock.
void set_default_log_level(int severity);

/// Sets one logger's rcutils severity under the logging lock; false if rcutils rejects it.
bool set_logger_log_level(const std::string & name, int severity);

}  // namespace detail
}  // namespace rclcpp

#endif  // LOGGING_INTERNAL_HPP_
