#include "rclcpp/executors/single_threaded_executor.hpp"

#include <stdexcept>

namespace rclcpp {
namespace executors {

SingleThreadedExecutor::SingleThreadedExecutor(const rclcpp::ExecutorOptions & options)
    : rclcpp::Executor(options)
{
}

SingleThreadedExecutor::~SingleThreadedExecutor() {}

void SingleThreadedExecutor::spin()
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin() called while already spinning");
  }
  SpinningGuard guard(spinning);
  while (rclcpp::ok(this->context_) && spinning.load()) {
    rclcpp::AnyExecutable any_executable;
    if (get_next_executable(any_executable)) {
      execute_any_executable(any_executable);
    }
  }
}

}  // namespace executors
}  // namespace rclcpp
