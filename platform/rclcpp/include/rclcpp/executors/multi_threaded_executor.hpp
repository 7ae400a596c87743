#ifndef RCLCPP__EXECUTORS__MULTI_THREADED_EXECUTOR_HPP_
#define RCLCPP__EXECUTORS__MULTI_THREADED_EXECUTOR_HPP_

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "rclcpp/executor.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace executors {

/// Runs callbacks on the thread calling spin() plus number_of_threads - 1 more threads, which
/// spin() joins before it returns. One thread at a time takes work (its turn is guarded by
/// wait_mutex_, taken before the Executor's own locks); callbacks run without any executor lock.
class RCLCPP_PUBLIC MultiThreadedExecutor : public rclcpp::Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(MultiThreadedExecutor)

  /// number_of_threads 0: the number of cores (at least 2). yield_before_execute: yield the
  /// thread before each callback.
  explicit MultiThreadedExecutor(
      const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions(),
      size_t number_of_threads = 0,
      bool yield_before_execute = false,
      std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  virtual ~MultiThreadedExecutor();

  /// Blocks until cancel() or context shutdown; joins its extra threads before returning.
  /// \throws std::runtime_error if already spinning
  void spin() override;

  size_t get_number_of_threads();

protected:
  void run(size_t this_thread_number);

private:
  RCLCPP_DISABLE_COPY(MultiThreadedExecutor)

  /// Takes the turn to wait for work; the other threads wait on turn_free_, not on a lock.
  void take_turn();
  void release_turn();

  std::mutex wait_mutex_;
  std::condition_variable turn_free_;
  bool turn_taken_{false};
  size_t number_of_threads_;
  bool yield_before_execute_;
  std::chrono::nanoseconds next_exec_timeout_;
};

}  // namespace executors
}  // namespace rclcpp

#endif  // RCLCPP__EXECUTORS__MULTI_THREADED_EXECUTOR_HPP_
