#ifndef RCLCPP__LOGGER_HPP_
#define RCLCPP__LOGGER_HPP_

#include <memory>
#include <string>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class Logger;

/// A logger by name (an empty logger ignores everything).
RCLCPP_PUBLIC
Logger get_logger(const std::string & name);

/// Folder of the log files; logging goes to the console only, so this is the rcutils default.
RCLCPP_PUBLIC
std::string get_logging_directory();

/// A named logger; records go to rcutils logging, so --log-level and
/// rcutils_logging_set_logger_level decide what is shown.
class RCLCPP_PUBLIC Logger
{
public:
  enum class Level
  {
    Unset = 0,
    Debug = 10,
    Info = 20,
    Warn = 30,
    Error = 40,
    Fatal = 50,
  };

private:
  friend Logger rclcpp::get_logger(const std::string & name);

  Logger() : name_(nullptr) {}

  explicit Logger(const std::string & name) : name_(new std::string(name)) {}

  std::shared_ptr<const std::string> name_;

public:
  Logger(const Logger &) = default;
  Logger & operator=(const Logger &) = default;

  /// The logger name, or nullptr for a dummy logger.
  const char * get_name() const
  {
    if (!name_) {
      return nullptr;
    }
    return name_->c_str();
  }

  /// The logger "<name>.<suffix>".
  Logger get_child(const std::string & suffix);

  /// \throws std::runtime_error if rcutils rejects the level
  void set_level(Level level);
};

}  // namespace rclcpp

#endif  // RCLCPP__LOGGER_HPP_
