#ifndef RCLCPP__UTILITIES_HPP_
#define RCLCPP__UTILITIES_HPP_

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/init_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Which signals rclcpp::init handles.
enum class SignalHandlerOptions
{
  All,
  SigInt,
  SigTerm,
  None,
};

/// Initializes the global default context and installs the signal handlers. A handled signal
/// shuts down every context with shutdown_on_signal, from a dedicated thread.
RCLCPP_PUBLIC
void init(
    int argc,
    char const * const * argv,
    const InitOptions & init_options = InitOptions(),
    SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// Installs the SIGINT/SIGTERM handlers; returns false if they were already installed.
RCLCPP_PUBLIC
bool install_signal_handlers(
    SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

RCLCPP_PUBLIC
bool signal_handlers_installed();

RCLCPP_PUBLIC
SignalHandlerOptions get_current_signal_handler_options();

/// Restores the previous handlers and stops the handler thread; false if none were installed.
RCLCPP_PUBLIC
bool uninstall_signal_handlers();

/// Initializes and returns the arguments that are not ROS arguments (argv[0] first).
RCLCPP_PUBLIC
std::vector<std::string> init_and_remove_ros_arguments(
    int argc, char const * const * argv, const InitOptions & init_options = InitOptions());

/// Returns the arguments that are not ROS arguments (argv[0] first).
RCLCPP_PUBLIC
std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv);

/// True while the context (default: the global default context) is valid.
RCLCPP_PUBLIC
bool ok(rclcpp::Context::SharedPtr context = nullptr);

/// Shuts the context down (default: the global default context; that also uninstalls the
/// signal handlers). Returns false if it was already shut down.
RCLCPP_PUBLIC
bool shutdown(
    rclcpp::Context::SharedPtr context = nullptr,
    const std::string & reason = "user called rclcpp::shutdown()");

RCLCPP_PUBLIC
void on_shutdown(std::function<void()> callback, rclcpp::Context::SharedPtr context = nullptr);

/// Sleeps, interrupted by shutdown of the context. Returns true if the full time elapsed.
RCLCPP_PUBLIC
bool sleep_for(
    const std::chrono::nanoseconds & nanoseconds, rclcpp::Context::SharedPtr context = nullptr);

template <typename T>
bool add_will_overflow(const T x, const T y)
{
  return (y > 0) && (x > (std::numeric_limits<T>::max() - y));
}

template <typename T>
bool add_will_underflow(const T x, const T y)
{
  return (y < 0) && (x < (std::numeric_limits<T>::min() - y));
}

template <typename T>
bool sub_will_overflow(const T x, const T y)
{
  return (y < 0) && (x > (std::numeric_limits<T>::max() + y));
}

template <typename T>
bool sub_will_underflow(const T x, const T y)
{
  return (y > 0) && (x < (std::numeric_limits<T>::min() + y));
}

RCLCPP_PUBLIC
const char * get_c_string(const char * string_in);

RCLCPP_PUBLIC
const char * get_c_string(const std::string & string_in);

}  // namespace rclcpp

#endif  // RCLCPP__UTILITIES_HPP_
