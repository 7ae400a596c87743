#include "rclcpp/executors/multi_threaded_executor.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "rclcpp/detail/wake.hpp"

namespace rclcpp {
namespace executors {

MultiThreadedExecutor::MultiThreadedExecutor(
    const rclcpp::ExecutorOptions & options,
    size_t number_of_threads,
    bool yield_before_execute,
    std::chrono::nanoseconds next_exec_timeout)
    : rclcpp::Executor(options),
      yield_before_execute_(yield_before_execute),
      next_exec_timeout_(next_exec_timeout)
{
  number_of_threads_ =
      number_of_threads > 0 ? number_of_threads : std::max(std::thread::hardware_concurrency(), 2U);
}

MultiThreadedExecutor::~MultiThreadedExecutor() {}

void MultiThreadedExecutor::spin()
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin() called while already spinning");
  }
  SpinningGuard guard(spinning);
  std::vector<std::thread> threads;
  size_t thread_id = 0;
  {
    std::lock_guard<std::mutex> wait_lock(wait_mutex_);
    for (; thread_id < number_of_threads_ - 1; ++thread_id) {
      auto func = std::bind(&MultiThreadedExecutor::run, this, thread_id);
      threads.emplace_back(func);
    }
  }
  try {
    run(thread_id);
  } catch (...) {
    // Stop the other threads before the exception leaves spin().
    spinning.store(false);
    detail::wake_all();
    for (auto & thread : threads) {
      thread.join();
    }
    throw;
  }
  for (auto & thread : threads) {
    thread.join();
  }
}

size_t MultiThreadedExecutor::get_number_of_threads() { return number_of_threads_; }

// The threads that are not waiting for work wait for their turn on a condition variable instead
// of holding a lock across the wait: a thread parked in a mutex lock for as long as the executor is
// idle cannot run a signal handler under sanitizer runtimes, which defer handlers until the
// interrupted lock call returns, so Ctrl-C would never shut the process down.
void MultiThreadedExecutor::take_turn()
{
  std::unique_lock<std::mutex> lock(wait_mutex_);
  turn_free_.wait(lock, [this]() { return !turn_taken_; });
  turn_taken_ = true;
}

void MultiThreadedExecutor::release_turn()
{
  {
    std::lock_guard<std::mutex> lock(wait_mutex_);
    turn_taken_ = false;
  }
  turn_free_.notify_one();
}

void MultiThreadedExecutor::run(size_t this_thread_number)
{
  (void)this_thread_number;
  struct TurnGuard
  {
    MultiThreadedExecutor & executor;
    ~TurnGuard() { executor.release_turn(); }
  };
  while (rclcpp::ok(this->context_) && spinning.load()) {
    rclcpp::AnyExecutable any_exec;
    {
      take_turn();
      TurnGuard turn{*this};
      if (!rclcpp::ok(this->context_) || !spinning.load()) {
        return;
      }
      if (!get_next_executable(any_exec, next_exec_timeout_)) {
        continue;
      }
    }
    if (yield_before_execute_) {
      std::this_thread::yield();
    }
    execute_any_executable(any_exec);
  }
}

}  // namespace executors
}  // namespace rclcpp
