#ifndef RCLCPP__INIT_OPTIONS_HPP_
#define RCLCPP__INIT_OPTIONS_HPP_

#include <cstddef>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Options of rclcpp::init and Context::init.
class RCLCPP_PUBLIC InitOptions
{
public:
  /// If true, a SIGINT or SIGTERM shuts the context down (when the handlers are installed).
  bool shutdown_on_signal = true;

  InitOptions() = default;

  /// Whether logging is configured at init (the level from --log-level is always applied).
  bool auto_initialize_logging() const { return initialize_logging_; }

  InitOptions & auto_initialize_logging(bool initialize_logging)
  {
    initialize_logging_ = initialize_logging;
    return *this;
  }

  /// Domain ids are stored only: transport is in-process.
  void set_domain_id(size_t domain_id) { domain_id_ = domain_id; }

  size_t get_domain_id() const { return domain_id_; }

private:
  bool initialize_logging_ = true;
  size_t domain_id_ = 0;
};

}  // namespace rclcpp

#endif  // RCLCPP__INIT_OPTIONS_HPP_
