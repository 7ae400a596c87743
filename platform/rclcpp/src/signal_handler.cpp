#include "signal_handler.hpp"

#include <cerrno>
#include <cstring>

#include "rclcpp/context.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp {
namespace detail {
namespace {

// Set while handlers are installed; the handler must not touch anything else.
std::atomic<SignalHandler *> g_installed_handler{nullptr};

}  // namespace

SignalHandler & SignalHandler::get_global_signal_handler()
{
  static SignalHandler handler;
  return handler;
}

SignalHandler::~SignalHandler() { uninstall(); }

void SignalHandler::signal_handler(int signum)
{
  SignalHandler * handler = g_installed_handler.load();
  if (handler != nullptr) {
    handler->last_signal_.store(signum);
    sem_post(&handler->semaphore_);
  }
}

bool SignalHandler::install(SignalHandlerOptions options)
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  if (installed_) {
    return false;
  }
  options_ = options;
  if (options == SignalHandlerOptions::None) {
    installed_ = true;
    return true;
  }
  sem_init(&semaphore_, 0, 0);
  stop_.store(false);
  g_installed_handler.store(this);
  thread_ = std::thread(&SignalHandler::deferred_signal_handler, this);

  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  sigemptyset(&action.sa_mask);
  action.sa_handler = &SignalHandler::signal_handler;
  if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &action, &old_sigint_);
  }
  if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &action, &old_sigterm_);
  }
  installed_ = true;
  return true;
}

bool SignalHandler::uninstall()
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  if (!installed_) {
    return false;
  }
  installed_ = false;
  if (options_ == SignalHandlerOptions::None) {
    return true;
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &old_sigint_, nullptr);
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &old_sigterm_, nullptr);
  }
  g_installed_handler.store(nullptr);
  stop_.store(true);
  sem_post(&semaphore_);
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      // Shutdown from inside the handler thread (a signal-triggered shutdown callback).
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  options_ = SignalHandlerOptions::None;
  return true;
}

bool SignalHandler::is_installed()
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  return installed_;
}

SignalHandlerOptions SignalHandler::get_current_signal_handler_options()
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  return options_;
}

void SignalHandler::deferred_signal_handler()
{
  while (true) {
    if (sem_wait(&semaphore_) != 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (stop_.load()) {
      return;
    }
    RCLCPP_INFO(rclcpp::get_logger("rclcpp"), "signal_handler(signum=%d)", last_signal_.load());
    for (const auto & context : rclcpp::get_contexts()) {
      if (context->get_init_options().shutdown_on_signal) {
        context->shutdown("signal handler");
      }
    }
  }
}

}  // namespace detail
}  // namespace rclcpp
