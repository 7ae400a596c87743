#include "rclcpp/utilities.hpp"

#include <string>
#include <vector>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/ros_arguments.hpp"
#include "signal_handler.hpp"

namespace rclcpp {

void init(
    int argc,
    char const * const * argv,
    const InitOptions & init_options,
    SignalHandlerOptions signal_handler_options)
{
  using contexts::get_global_default_context;
  get_global_default_context()->init(argc, argv, init_options);
  install_signal_handlers(signal_handler_options);
}

bool install_signal_handlers(SignalHandlerOptions signal_handler_options)
{
  return detail::SignalHandler::get_global_signal_handler().install(signal_handler_options);
}

bool signal_handlers_installed()
{
  return detail::SignalHandler::get_global_signal_handler().is_installed();
}

SignalHandlerOptions get_current_signal_handler_options()
{
  return detail::SignalHandler::get_global_signal_handler().get_current_signal_handler_options();
}

bool uninstall_signal_handlers()
{
  return detail::SignalHandler::get_global_signal_handler().uninstall();
}

std::vector<std::string> init_and_remove_ros_arguments(
    int argc, char const * const * argv, const InitOptions & init_options)
{
  init(argc, argv, init_options);
  return remove_ros_arguments(argc, argv);
}

std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv)
{
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  detail::RosArguments parsed(args);
  std::vector<std::string> result;
  if (argc > 0) {
    result.emplace_back(argv[0]);
  }
  for (const auto & arg : parsed.unparsed_arguments()) {
    result.push_back(arg);
  }
  return result;
}

bool ok(Context::SharedPtr context)
{
  if (nullptr == context) {
    context = contexts::get_global_default_context();
  }
  return context->is_valid();
}

bool shutdown(Context::SharedPtr context, const std::string & reason)
{
  auto default_context = contexts::get_global_default_context();
  if (nullptr == context) {
    context = default_context;
  }
  bool ret = context->shutdown(reason);
  if (context == default_context) {
    uninstall_signal_handlers();
  }
  return ret;
}

void on_shutdown(std::function<void()> callback, Context::SharedPtr context)
{
  if (nullptr == context) {
    context = contexts::get_global_default_context();
  }
  context->on_shutdown(callback);
}

bool sleep_for(const std::chrono::nanoseconds & nanoseconds, Context::SharedPtr context)
{
  if (nullptr == context) {
    context = contexts::get_global_default_context();
  }
  return context->sleep_for(nanoseconds);
}

const char * get_c_string(const char * string_in) { return string_in; }

const char * get_c_string(const std::string & string_in) { return string_in.c_str(); }

}  // namespace rclcpp
