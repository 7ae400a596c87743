// SIGINT/SIGTERM handling (not installed).
#ifndef SIGNAL_HANDLER_HPP_
#define SIGNAL_HANDLER_HPP_

#include <semaphore.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "rclcpp/utilities.hpp"

namespace rclcpp {
namespace detail {

/// Installs the signal handlers and owns the thread that acts on a signal. The handler itself
/// only posts a semaphore; the thread shuts down every context with shutdown_on_signal, so
/// shutdown callbacks never run in signal context.
class SignalHandler
{
public:
  static SignalHandler & get_global_signal_handler();

  bool install(SignalHandlerOptions options);
  bool uninstall();
  bool is_installed();
  SignalHandlerOptions get_current_signal_handler_options();

  ~SignalHandler();

private:
  SignalHandler() = default;

  static void signal_handler(int signum);
  void deferred_signal_handler();

  std::mutex install_mutex_;
  bool installed_{false};
  SignalHandlerOptions options_{SignalHandlerOptions::None};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> last_signal_{0};
  sem_t semaphore_;
  struct sigaction old_sigint_;
  struct sigaction old_sigterm_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // SIGNAL_HANDLER_HPP_
