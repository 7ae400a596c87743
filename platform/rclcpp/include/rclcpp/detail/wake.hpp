// Process-wide wake-up signal of the in-process transport. Every event an executor or a waiter
// may care about (a message or request queued, a response, an entity or group added, a group
// released, cancel, shutdown) advances one generation counter; waiters block until it moves.
#ifndef RCLCPP__DETAIL__WAKE_HPP_
#define RCLCPP__DETAIL__WAKE_HPP_

#include <chrono>
#include <cstdint>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace detail {

/// The current generation.
RCLCPP_PUBLIC
uint64_t wake_generation();

/// Advances the generation and wakes every waiter.
RCLCPP_PUBLIC
void wake_all();

/// Blocks until the generation differs from seen or the deadline passes.
RCLCPP_PUBLIC
void wait_for_wake(uint64_t seen, std::chrono::steady_clock::time_point deadline);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__WAKE_HPP_
