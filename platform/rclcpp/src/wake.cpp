#include "rclcpp/detail/wake.hpp"

#include <condition_variable>
#include <mutex>

namespace rclcpp {
namespace detail {
namespace {

struct WakeState
{
  std::mutex mutex;
  std::condition_variable condition;
  uint64_t generation{0};
};

WakeState & state()
{
  // Never destroyed: executors of static objects may still wait during exit.
  static WakeState * wake_state = new WakeState();
  return *wake_state;
}

}  // namespace

uint64_t wake_generation()
{
  WakeState & s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.generation;
}

void wake_all()
{
  WakeState & s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.generation;
  }
  s.condition.notify_all();
}

void wait_for_wake(uint64_t seen, std::chrono::steady_clock::time_point deadline)
{
  WakeState & s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    s.condition.wait(lock, [&s, seen]() { return s.generation != seen; });
  } else {
    s.condition.wait_until(lock, deadline, [&s, seen]() { return s.generation != seen; });
  }
}

}  // namespace detail
}  // namespace rclcpp
