#ifndef RCLCPP__CONTEXT_HPP_
#define RCLCPP__CONTEXT_HPP_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "rclcpp/init_options.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace detail {
class RosArguments;
}  // namespace detail

/// Thrown when init is called on an already initialized context.
class ContextAlreadyInitialized : public std::runtime_error
{
public:
  ContextAlreadyInitialized() : std::runtime_error("context is already initialized") {}
};

class ShutdownCallbackHandle
{
  friend class Context;

public:
  using ShutdownCallbackType = std::function<void()>;

private:
  std::weak_ptr<ShutdownCallbackType> callback;
};

using OnShutdownCallbackHandle = ShutdownCallbackHandle;
using PreShutdownCallbackHandle = ShutdownCallbackHandle;

/// Shared state of nodes between init and shutdown: validity, the parsed command line, the
/// shutdown and pre-shutdown callbacks and the interruptible sleep.
///
/// Lock order: init_mutex_ before the callback mutexes before interrupt_mutex_. Callbacks run
/// with init_mutex_ held (it is recursive), never with the callback mutexes held.
class RCLCPP_PUBLIC Context : public std::enable_shared_from_this<Context>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Context)

  Context();

  virtual ~Context();

  /// Parses the ROS arguments of argv (argv[0] is the program name) and makes the context valid.
  /// \throws ContextAlreadyInitialized if the context is valid
  /// \throws rclcpp::exceptions::UnknownROSArgsError for unknown arguments inside --ros-args
  virtual void init(
      int argc,
      char const * const argv[],
      const rclcpp::InitOptions & init_options = rclcpp::InitOptions());

  /// True between init() and shutdown().
  bool is_valid() const;

  const rclcpp::InitOptions & get_init_options() const;

  rclcpp::InitOptions get_init_options();

  size_t get_domain_id() const;

  std::string shutdown_reason() const;

  /// Runs the pre-shutdown callbacks (while the context is still valid), invalidates the
  /// context, runs the on-shutdown callbacks, then interrupts every sleep_for() and wakes every
  /// executor. Returns false if the context was not valid.
  virtual bool shutdown(const std::string & reason);

  using OnShutdownCallback = OnShutdownCallbackHandle::ShutdownCallbackType;

  /// Deprecated form of add_on_shutdown_callback(); returns the callback.
  virtual OnShutdownCallback on_shutdown(OnShutdownCallback callback);

  virtual OnShutdownCallbackHandle add_on_shutdown_callback(OnShutdownCallback callback);

  virtual bool remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle);

  using PreShutdownCallback = PreShutdownCallbackHandle::ShutdownCallbackType;

  virtual PreShutdownCallbackHandle add_pre_shutdown_callback(PreShutdownCallback callback);

  virtual bool remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle);

  std::vector<OnShutdownCallback> get_on_shutdown_callbacks() const;

  std::vector<PreShutdownCallback> get_pre_shutdown_callbacks() const;

  /// Sleeps until the time has passed or the context is shut down.
  /// \return true if the full time elapsed with the context still valid
  bool sleep_for(const std::chrono::nanoseconds & nanoseconds);

  /// Wakes every sleep_for(); a sleep whose context is still valid continues.
  virtual void interrupt_all_sleep_for();

  /// The command line given to init() (empty before the first init).
  std::shared_ptr<const detail::RosArguments> get_ros_arguments() const;

protected:
  virtual void clean_up();

private:
  RCLCPP_DISABLE_COPY(Context)

  using CallbackSet = std::vector<std::shared_ptr<OnShutdownCallback>>;

  ShutdownCallbackHandle add_shutdown_callback(
      CallbackSet & callbacks, std::mutex & mutex, OnShutdownCallback callback);
  bool remove_shutdown_callback(
      CallbackSet & callbacks, std::mutex & mutex, const ShutdownCallbackHandle & handle);
  std::vector<OnShutdownCallback> get_shutdown_callbacks(
      const CallbackSet & callbacks, std::mutex & mutex) const;

  mutable std::recursive_mutex init_mutex_;
  bool valid_{false};
  // Mirrors valid_ for the lock-free is_valid().
  std::atomic<bool> valid_flag_{false};
  rclcpp::InitOptions init_options_;
  std::string shutdown_reason_;
  std::shared_ptr<const detail::RosArguments> ros_arguments_;

  CallbackSet on_shutdown_callbacks_;
  mutable std::mutex on_shutdown_callbacks_mutex_;
  CallbackSet pre_shutdown_callbacks_;
  mutable std::mutex pre_shutdown_callbacks_mutex_;

  std::condition_variable interrupt_condition_variable_;
  std::mutex interrupt_mutex_;
  uint64_t interrupt_count_{0};
};

/// Every context that was constructed and still exists.
RCLCPP_PUBLIC
std::vector<Context::SharedPtr> get_contexts();

}  // namespace rclcpp

#endif  // RCLCPP__CONTEXT_HPP_
