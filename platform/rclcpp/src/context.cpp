#include "rclcpp/context.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "logging_internal.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/detail/wake.hpp"
#include "rclcpp/exceptions.hpp"

namespace rclcpp {
namespace {

// Every context alive, for the signal handler. Leaked so that it outlives static destructors.
struct WeakContexts
{
  std::mutex mutex;
  std::vector<std::weak_ptr<Context>> contexts;
};

WeakContexts & weak_contexts()
{
  static WeakContexts * contexts = new WeakContexts();
  return *contexts;
}

}  // namespace

Context::Context() = default;

Context::~Context()
{
  try {
    this->shutdown("context destructor was called while still not shutdown");
  } catch (...) {
    // A destructor must not throw; the context is gone either way.
  }
}

void Context::init(int argc, char const * const argv[], const rclcpp::InitOptions & init_options)
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  if (valid_) {
    throw rclcpp::ContextAlreadyInitialized();
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc && argv != nullptr; ++i) {
    args.emplace_back(argv[i]);
  }
  auto parsed = std::make_shared<const detail::RosArguments>(args);
  if (!parsed->unparsed_ros_arguments().empty()) {
    throw exceptions::UnknownROSArgsError(
        std::vector<std::string>(parsed->unparsed_ros_arguments()));
  }
  if (auto level = parsed->default_log_level()) {
    detail::set_default_log_level(*level);
  }
  for (const auto & logger_level : parsed->logger_log_levels()) {
    detail::set_logger_log_level(logger_level.first, logger_level.second);
  }
  ros_arguments_ = std::move(parsed);
  init_options_ = init_options;
  shutdown_reason_.clear();
  valid_ = true;
  valid_flag_.store(true);

  WeakContexts & registry = weak_contexts();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto self = weak_from_this();
  const bool known = std::any_of(
      registry.contexts.begin(),
      registry.contexts.end(),
      [this](const std::weak_ptr<Context> & weak) {
        auto locked = weak.lock();
        return locked.get() == this;
      });
  if (!known && !self.expired()) {
    registry.contexts.push_back(self);
  }
}

bool Context::is_valid() const { return valid_flag_.load(); }

const rclcpp::InitOptions & Context::get_init_options() const { return init_options_; }

rclcpp::InitOptions Context::get_init_options()
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  return init_options_;
}

size_t Context::get_domain_id() const { return init_options_.get_domain_id(); }

std::string Context::shutdown_reason() const
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  return shutdown_reason_;
}

bool Context::shutdown(const std::string & reason)
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  if (!valid_) {
    return false;
  }
  // Pre-shutdown callbacks see a context that is still valid.
  {
    std::lock_guard<std::mutex> lock(pre_shutdown_callbacks_mutex_);
    for (const auto & callback : pre_shutdown_callbacks_) {
      (*callback)();
    }
  }
  valid_ = false;
  valid_flag_.store(false);
  shutdown_reason_ = reason;
  {
    std::lock_guard<std::mutex> lock(on_shutdown_callbacks_mutex_);
    for (const auto & callback : on_shutdown_callbacks_) {
      (*callback)();
    }
  }
  this->interrupt_all_sleep_for();
  detail::wake_all();
  return true;
}

Context::OnShutdownCallback Context::on_shutdown(OnShutdownCallback callback)
{
  add_on_shutdown_callback(callback);
  return callback;
}

ShutdownCallbackHandle Context::add_shutdown_callback(
    CallbackSet & callbacks, std::mutex & mutex, OnShutdownCallback callback)
{
  auto callback_shared_ptr = std::make_shared<OnShutdownCallback>(std::move(callback));
  {
    std::lock_guard<std::mutex> lock(mutex);
    callbacks.push_back(callback_shared_ptr);
  }
  ShutdownCallbackHandle handle;
  handle.callback = callback_shared_ptr;
  return handle;
}

bool Context::remove_shutdown_callback(
    CallbackSet & callbacks, std::mutex & mutex, const ShutdownCallbackHandle & handle)
{
  const auto callback_shared_ptr = handle.callback.lock();
  if (callback_shared_ptr == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex);
  auto it = std::find(callbacks.begin(), callbacks.end(), callback_shared_ptr);
  if (it == callbacks.end()) {
    return false;
  }
  callbacks.erase(it);
  return true;
}

std::vector<Context::OnShutdownCallback> Context::get_shutdown_callbacks(
    const CallbackSet & callbacks, std::mutex & mutex) const
{
  std::vector<OnShutdownCallback> result;
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto & callback : callbacks) {
    result.push_back(*callback);
  }
  return result;
}

OnShutdownCallbackHandle Context::add_on_shutdown_callback(OnShutdownCallback callback)
{
  return add_shutdown_callback(
      on_shutdown_callbacks_, on_shutdown_callbacks_mutex_, std::move(callback));
}

bool Context::remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle)
{
  return remove_shutdown_callback(
      on_shutdown_callbacks_, on_shutdown_callbacks_mutex_, callback_handle);
}

PreShutdownCallbackHandle Context::add_pre_shutdown_callback(PreShutdownCallback callback)
{
  return add_shutdown_callback(
      pre_shutdown_callbacks_, pre_shutdown_callbacks_mutex_, std::move(callback));
}

bool Context::remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle)
{
  return remove_shutdown_callback(
      pre_shutdown_callbacks_, pre_shutdown_callbacks_mutex_, callback_handle);
}

std::vector<Context::OnShutdownCallback> Context::get_on_shutdown_callbacks() const
{
  return get_shutdown_callbacks(on_shutdown_callbacks_, on_shutdown_callbacks_mutex_);
}

std::vector<Context::PreShutdownCallback> Context::get_pre_shutdown_callbacks() const
{
  return get_shutdown_callbacks(pre_shutdown_callbacks_, pre_shutdown_callbacks_mutex_);
}

bool Context::sleep_for(const std::chrono::nanoseconds & nanoseconds)
{
  std::chrono::nanoseconds time_left = nanoseconds;
  {
    std::unique_lock<std::mutex> lock(interrupt_mutex_);
    const uint64_t seen = interrupt_count_;
    auto start = std::chrono::steady_clock::now();
    interrupt_condition_variable_.wait_for(
        lock, nanoseconds, [this, seen]() { return interrupt_count_ != seen; });
    time_left -= std::chrono::steady_clock::now() - start;
  }
  if (time_left > std::chrono::nanoseconds::zero() && this->is_valid()) {
    return sleep_for(time_left);
  }
  return this->is_valid();
}

void Context::interrupt_all_sleep_for()
{
  {
    std::lock_guard<std::mutex> lock(interrupt_mutex_);
    ++interrupt_count_;
  }
  interrupt_condition_variable_.notify_all();
}

std::shared_ptr<const detail::RosArguments> Context::get_ros_arguments() const
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  return ros_arguments_;
}

void Context::clean_up()
{
  std::lock_guard<std::recursive_mutex> init_lock(init_mutex_);
  ros_arguments_.reset();
}

std::vector<Context::SharedPtr> get_contexts()
{
  WeakContexts & registry = weak_contexts();
  std::lock_guard<std::mutex> lock(registry.mutex);
  std::vector<Context::SharedPtr> shared_contexts;
  auto it = registry.contexts.begin();
  while (it != registry.contexts.end()) {
    if (auto context = it->lock()) {
      shared_contexts.push_back(context);
      ++it;
    } else {
      it = registry.contexts.erase(it);
    }
  }
  return shared_contexts;
}

namespace contexts {

DefaultContext::DefaultContext() = default;

DefaultContext::SharedPtr get_global_default_context()
{
  static DefaultContext::SharedPtr default_context = DefaultContext::make_shared();
  return default_context;
}

}  // namespace contexts

}  // namespace rclcpp
