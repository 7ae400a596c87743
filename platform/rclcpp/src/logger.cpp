#include "rclcpp/logger.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "logging_internal.hpp"
#include "rclcpp/logging.hpp"
#include "rcutils/error_handling.h"
#include "rcutils/logging.h"

namespace rclcpp {
namespace detail {
namespace {

// rcutils keeps its logger table in unsynchronised globals, so every call into it goes through
// this lock. Leaked on purpose: static destructors may still log.
std::mutex & logging_mutex()
{
  static std::mutex * mutex = new std::mutex();
  return *mutex;
}

void initialize_logging_locked()
{
  if (!g_rcutils_logging_initialized) {
    if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
      rcutils_reset_error();
    }
  }
}

// Initialise while the library loads, before any thread can log.
struct LoggingInitializer
{
  LoggingInitializer()
  {
    std::lock_guard<std::mutex> lock(logging_mutex());
    initialize_logging_locked();
  }
};
const LoggingInitializer logging_initializer;

}  // namespace

bool log_enabled(const ::rclcpp::Logger & logger, int severity)
{
  const char * name = logger.get_name();
  if (name == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> lock(logging_mutex());
  initialize_logging_locked();
  return rcutils_logging_logger_is_enabled_for(name, severity);
}

void log_string(const LogSite & site, int severity, const char * name, const std::string & text)
{
  std::lock_guard<std::mutex> lock(logging_mutex());
  initialize_logging_locked();
  rcutils_log(&site.location, severity, name, "%s", text.c_str());
}

void log(const LogSite & site, int severity, const char * name, const char * format, ...)
{
  va_list args;
  va_start(args, format);
  va_list args_copy;
  va_copy(args_copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, args_copy);
  va_end(args_copy);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  log_string(site, severity, name, text);
}

void set_default_log_level(int severity)
{
  std::lock_guard<std::mutex> lock(logging_mutex());
  initialize_logging_locked();
  rcutils_logging_set_default_logger_level(severity);
}

bool set_logger_log_level(const std::string & name, int severity)
{
  std::lock_guard<std::mutex> lock(logging_mutex());
  initialize_logging_locked();
  if (rcutils_logging_set_logger_level(name.c_str(), severity) != RCUTILS_RET_OK) {
    rcutils_reset_error();
    return false;
  }
  return true;
}

}  // namespace detail

Logger get_logger(const std::string & name) { return rclcpp::Logger(name); }

std::string get_logging_directory()
{
  const char * home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.ros/log";
}

Logger Logger::get_child(const std::string & suffix)
{
  if (!name_) {
    return Logger();
  }
  return Logger(*name_ + "." + suffix);
}

void Logger::set_level(Level level)
{
  if (!name_) {
    return;
  }
  if (!detail::set_logger_log_level(*name_, static_cast<int>(level))) {
    throw std::runtime_error("Couldn't set logger level");
  }
}

}  // namespace rclcpp
