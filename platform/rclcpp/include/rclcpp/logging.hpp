// Logging macros of rclcpp. They forward to rcutils logging (console output, levels from
// --log-level and rcutils_logging_set_logger_level) through one process-wide lock, so that
// records from several threads neither interleave nor race on the logger table.
#ifndef RCLCPP__LOGGING_HPP_
#define RCLCPP__LOGGING_HPP_

#include <atomic>
#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>

#include "rclcpp/logger.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rcutils/logging.h"

namespace rclcpp {
namespace detail {

/// Per-statement state of a logging macro: its location and the once/skip-first/throttle flags.
struct LogSite
{
  rcutils_log_location_t location;
  std::atomic<bool> done_once{false};
  std::atomic<bool> passed_first{false};
  std::atomic<bool> throttle_started{false};
  std::atomic<int64_t> throttle_last_ns{0};

  LogSite(const char * function, const char * file, size_t line) : location{function, file, line} {}

  bool once() { return !done_once.exchange(true); }

  bool skip_first() { return passed_first.exchange(true); }

  /// True at the first call and then once per duration_ms on the given clock.
  template <typename ClockT>
  bool throttle(ClockT & clock, int64_t duration_ms)
  {
    const int64_t now = clock.now().nanoseconds();
    if (!throttle_started.exchange(true)) {
      throttle_last_ns.store(now);
      return true;
    }
    int64_t last = throttle_last_ns.load();
    if (now - last < duration_ms * 1000000LL) {
      return false;
    }
    return throttle_last_ns.compare_exchange_strong(last, now);
  }
};

RCLCPP_PUBLIC
bool log_enabled(const ::rclcpp::Logger & logger, int severity);

RCLCPP_PUBLIC
void log(const LogSite & site, int severity, const char * name, const char * format, ...)
    __attribute__((format(printf, 4, 5)));

RCLCPP_PUBLIC
void log_string(const LogSite & site, int severity, const char * name, const std::string & text);

}  // namespace detail
}  // namespace rclcpp

#define RCLCPP_LOG_CHECK_LOGGER_(logger)                                   \
  static_assert(                                                           \
      ::std::is_same<                                                      \
          ::std::remove_cv_t<::std::remove_reference_t<decltype(logger)>>, \
          ::rclcpp::Logger>::value,                                        \
      "First argument to logging macros must be an rclcpp::Logger")

#define RCLCPP_LOG_IMPL_(severity, condition, logger, ...)                            \
  do {                                                                                \
    RCLCPP_LOG_CHECK_LOGGER_(logger);                                                 \
    static ::rclcpp::detail::LogSite rclcpp_log_site_{__func__, __FILE__, __LINE__};  \
    const ::rclcpp::Logger & rclcpp_log_logger_ = (logger);                           \
    if (::rclcpp::detail::log_enabled(rclcpp_log_logger_, severity) && (condition)) { \
      ::rclcpp::detail::log(                                                          \
          rclcpp_log_site_, severity, rclcpp_log_logger_.get_name(), __VA_ARGS__);    \
    }                                                                                 \
  } while (0)

#define RCLCPP_LOG_STREAM_IMPL_(severity, condition, logger, stream_arg)                       \
  do {                                                                                         \
    RCLCPP_LOG_CHECK_LOGGER_(logger);                                                          \
    static ::rclcpp::detail::LogSite rclcpp_log_site_{__func__, __FILE__, __LINE__};           \
    const ::rclcpp::Logger & rclcpp_log_logger_ = (logger);                                    \
    if (::rclcpp::detail::log_enabled(rclcpp_log_logger_, severity) && (condition)) {          \
      ::std::stringstream rclcpp_stream_ss_;                                                   \
      rclcpp_stream_ss_ << stream_arg;                                                         \
      ::rclcpp::detail::log_string(                                                            \
          rclcpp_log_site_, severity, rclcpp_log_logger_.get_name(), rclcpp_stream_ss_.str()); \
    }                                                                                          \
  } while (0)

// DEBUG severity
#define RCLCPP_DEBUG(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, true, logger, __VA_ARGS__)
#define RCLCPP_DEBUG_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.once(), logger, __VA_ARGS__)
#define RCLCPP_DEBUG_EXPRESSION(logger, expression, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, (expression), logger, __VA_ARGS__)
#define RCLCPP_DEBUG_FUNCTION(logger, function, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, (*function)(), logger, __VA_ARGS__)
#define RCLCPP_DEBUG_SKIPFIRST(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.skip_first(), logger, __VA_ARGS__)
#define RCLCPP_DEBUG_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_(                                         \
      RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.throttle(clock, duration), logger, __VA_ARGS__)
#define RCLCPP_DEBUG_SKIPFIRST_THROTTLE(logger, clock, duration, ...)              \
  RCLCPP_LOG_IMPL_(                                                                \
      RCUTILS_LOG_SEVERITY_DEBUG,                                                  \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      __VA_ARGS__)
#define RCLCPP_DEBUG_STREAM(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, true, logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.once(), logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, (expression), logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_DEBUG, (*function)(), logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                \
      RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.skip_first(), logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                \
      RCUTILS_LOG_SEVERITY_DEBUG, rclcpp_log_site_.throttle(clock, duration), logger, stream_arg)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                          \
      RCUTILS_LOG_SEVERITY_DEBUG,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration),  \
      logger,                                                                       \
      stream_arg)

// INFO severity
#define RCLCPP_INFO(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_INFO, true, logger, __VA_ARGS__)
#define RCLCPP_INFO_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.once(), logger, __VA_ARGS__)
#define RCLCPP_INFO_EXPRESSION(logger, expression, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_INFO, (expression), logger, __VA_ARGS__)
#define RCLCPP_INFO_FUNCTION(logger, function, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_INFO, (*function)(), logger, __VA_ARGS__)
#define RCLCPP_INFO_SKIPFIRST(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.skip_first(), logger, __VA_ARGS__)
#define RCLCPP_INFO_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_(                                        \
      RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.throttle(clock, duration), logger, __VA_ARGS__)
#define RCLCPP_INFO_SKIPFIRST_THROTTLE(logger, clock, duration, ...)               \
  RCLCPP_LOG_IMPL_(                                                                \
      RCUTILS_LOG_SEVERITY_INFO,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      __VA_ARGS__)
#define RCLCPP_INFO_STREAM(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_INFO, true, logger, stream_arg)
#define RCLCPP_INFO_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.once(), logger, stream_arg)
#define RCLCPP_INFO_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_INFO, (expression), logger, stream_arg)
#define RCLCPP_INFO_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_INFO, (*function)(), logger, stream_arg)
#define RCLCPP_INFO_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                               \
      RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.skip_first(), logger, stream_arg)
#define RCLCPP_INFO_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                               \
      RCUTILS_LOG_SEVERITY_INFO, rclcpp_log_site_.throttle(clock, duration), logger, stream_arg)
#define RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                         \
      RCUTILS_LOG_SEVERITY_INFO,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      stream_arg)

// WARN severity
#define RCLCPP_WARN(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_WARN, true, logger, __VA_ARGS__)
#define RCLCPP_WARN_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.once(), logger, __VA_ARGS__)
#define RCLCPP_WARN_EXPRESSION(logger, expression, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_WARN, (expression), logger, __VA_ARGS__)
#define RCLCPP_WARN_FUNCTION(logger, function, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_WARN, (*function)(), logger, __VA_ARGS__)
#define RCLCPP_WARN_SKIPFIRST(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.skip_first(), logger, __VA_ARGS__)
#define RCLCPP_WARN_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_(                                        \
      RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.throttle(clock, duration), logger, __VA_ARGS__)
#define RCLCPP_WARN_SKIPFIRST_THROTTLE(logger, clock, duration, ...)               \
  RCLCPP_LOG_IMPL_(                                                                \
      RCUTILS_LOG_SEVERITY_WARN,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      __VA_ARGS__)
#define RCLCPP_WARN_STREAM(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_WARN, true, logger, stream_arg)
#define RCLCPP_WARN_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.once(), logger, stream_arg)
#define RCLCPP_WARN_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_WARN, (expression), logger, stream_arg)
#define RCLCPP_WARN_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_WARN, (*function)(), logger, stream_arg)
#define RCLCPP_WARN_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                               \
      RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.skip_first(), logger, stream_arg)
#define RCLCPP_WARN_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                               \
      RCUTILS_LOG_SEVERITY_WARN, rclcpp_log_site_.throttle(clock, duration), logger, stream_arg)
#define RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                         \
      RCUTILS_LOG_SEVERITY_WARN,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      stream_arg)

// ERROR severity
#define RCLCPP_ERROR(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, true, logger, __VA_ARGS__)
#define RCLCPP_ERROR_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.once(), logger, __VA_ARGS__)
#define RCLCPP_ERROR_EXPRESSION(logger, expression, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, (expression), logger, __VA_ARGS__)
#define RCLCPP_ERROR_FUNCTION(logger, function, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, (*function)(), logger, __VA_ARGS__)
#define RCLCPP_ERROR_SKIPFIRST(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.skip_first(), logger, __VA_ARGS__)
#define RCLCPP_ERROR_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_(                                         \
      RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.throttle(clock, duration), logger, __VA_ARGS__)
#define RCLCPP_ERROR_SKIPFIRST_THROTTLE(logger, clock, duration, ...)              \
  RCLCPP_LOG_IMPL_(                                                                \
      RCUTILS_LOG_SEVERITY_ERROR,                                                  \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      __VA_ARGS__)
#define RCLCPP_ERROR_STREAM(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, true, logger, stream_arg)
#define RCLCPP_ERROR_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.once(), logger, stream_arg)
#define RCLCPP_ERROR_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, (expression), logger, stream_arg)
#define RCLCPP_ERROR_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_ERROR, (*function)(), logger, stream_arg)
#define RCLCPP_ERROR_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                \
      RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.skip_first(), logger, stream_arg)
#define RCLCPP_ERROR_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                \
      RCUTILS_LOG_SEVERITY_ERROR, rclcpp_log_site_.throttle(clock, duration), logger, stream_arg)
#define RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                          \
      RCUTILS_LOG_SEVERITY_ERROR,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration),  \
      logger,                                                                       \
      stream_arg)

// FATAL severity
#define RCLCPP_FATAL(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, true, logger, __VA_ARGS__)
#define RCLCPP_FATAL_ONCE(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.once(), logger, __VA_ARGS__)
#define RCLCPP_FATAL_EXPRESSION(logger, expression, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, (expression), logger, __VA_ARGS__)
#define RCLCPP_FATAL_FUNCTION(logger, function, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, (*function)(), logger, __VA_ARGS__)
#define RCLCPP_FATAL_SKIPFIRST(logger, ...) \
  RCLCPP_LOG_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.skip_first(), logger, __VA_ARGS__)
#define RCLCPP_FATAL_THROTTLE(logger, clock, duration, ...) \
  RCLCPP_LOG_IMPL_(                                         \
      RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.throttle(clock, duration), logger, __VA_ARGS__)
#define RCLCPP_FATAL_SKIPFIRST_THROTTLE(logger, clock, duration, ...)              \
  RCLCPP_LOG_IMPL_(                                                                \
      RCUTILS_LOG_SEVERITY_FATAL,                                                  \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration), \
      logger,                                                                      \
      __VA_ARGS__)
#define RCLCPP_FATAL_STREAM(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, true, logger, stream_arg)
#define RCLCPP_FATAL_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.once(), logger, stream_arg)
#define RCLCPP_FATAL_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, (expression), logger, stream_arg)
#define RCLCPP_FATAL_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(RCUTILS_LOG_SEVERITY_FATAL, (*function)(), logger, stream_arg)
#define RCLCPP_FATAL_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                \
      RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.skip_first(), logger, stream_arg)
#define RCLCPP_FATAL_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                \
      RCUTILS_LOG_SEVERITY_FATAL, rclcpp_log_site_.throttle(clock, duration), logger, stream_arg)
#define RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  RCLCPP_LOG_STREAM_IMPL_(                                                          \
      RCUTILS_LOG_SEVERITY_FATAL,                                                   \
      rclcpp_log_site_.skip_first() && rclcpp_log_site_.throttle(clock, duration),  \
      logger,                                                                       \
      stream_arg)

#endif  // RCLCPP__LOGGING_HPP_
