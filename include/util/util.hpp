// Logging and a small thread pool shared by every deliverable of the semantic map server.
//
// The header is compiled into each deliverable. What is shared between them is the logger object
// only, and only among shared libraries:
//
// * `brindlex::Logger::Instance()` keeps the object in a function-local static of an inline
//   function with default visibility. GCC emits such a static as an STB_GNU_UNIQUE symbol, which
//   the dynamic linker binds process-wide, so every shared library of a process (linked directly or
//   dlopen'ed with RTLD_LOCAL as class_loader does) uses one object, one counter.
// * An executable keeps its own object. Left at default visibility, the executable's copy would be
//   exported as soon as a linked library references the same symbol, and every library would then
//   bind to the executable's object (ELF interposition). Compiling with
//   BRINDLEX_UTIL_PRIVATE_LOGGER defined gives everything declared here hidden visibility, so
//   nothing of it reaches the executable's dynamic symbol table. The `brindlex_util` CMake target
//   sets the definition on every executable that uses it (directly or through a library's
//   interface) and on nothing else. A static library meant for an executable must define it too.
//
// Lock order: a throttle table's mutex is released before the message is written; the thread
// pool's mutex is never held while a task runs or while logging. spdlog's sinks lock internally.

#ifndef UTIL__UTIL_HPP_
#define UTIL__UTIL_HPP_

#include <spdlog/logger.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/systemd_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(BRINDLEX_UTIL_PRIVATE_LOGGER)
#define BRINDLEX_UTIL_VISIBILITY __attribute__((visibility("hidden")))
#else
#define BRINDLEX_UTIL_VISIBILITY __attribute__((visibility("default")))
#endif

namespace brindlex {

/**
 * The system's logger: an spdlog logger named "spdlog" whose sinks and level come from the
 * environment on first use.
 *
 * - SPDLOG_STDOUT "true"/"false": colour console sink on standard output (default on).
 * - SPDLOG_SYSTEMD "true"/"false": systemd journal sink (default off).
 * - SPDLOG_LEVEL "trace", "debug", "info", "warning", "error", "critical" (default info).
 *
 * Unset or unknown values fall back to the default with a note on standard output. Each record is
 * "NNN [LEVEL] " followed by the text, NNN being the count of enabled messages modulo 128.
 *
 * When construction stops on an spdlog error before the spdlog logger exists, messages are still
 * counted and then discarded.
 */
class BRINDLEX_UTIL_VISIBILITY Logger
{
public:
  /// The logger object of the calling deliverable's group, built on first call.
  BRINDLEX_UTIL_VISIBILITY static Logger & Instance()
  {
    static Logger instance;
    return instance;
  }

  /**
   * Formats `format` (fmt "{}" placeholders) with `args` and writes it at the level of `type`:
   * 0 DEBUG, 1 INFO, 2 WARN, 3 ERROR, anything else DEBUG. The text always passes through the
   * formatter, so "{{" and "}}" come out as single braces. The record's source location is this
   * function. Throws fmt::format_error when `format` does not match `args`.
   */
  template <typename... Args>
  static void Log(int type, const char * format, Args &&... args)
  {
    Logger & self = Instance();
    switch (type) {
      case 1:
        self.write({__FILE__, __LINE__, __func__}, spdlog::level::info, format, args...);
        break;
      case 2:
        self.write({__FILE__, __LINE__, __func__}, spdlog::level::warn, format, args...);
        break;
      case 3:
        self.write({__FILE__, __LINE__, __func__}, spdlog::level::err, format, args...);
        break;
      default:
        self.write({__FILE__, __LINE__, __func__}, spdlog::level::debug, format, args...);
        break;
    }
  }

  /// What Log does, at `lvl` and with the caller's source location; used by the LOG_* macros.
  template <typename... Args>
  static void LogAt(
      spdlog::source_loc loc, spdlog::level::level_enum lvl, const char * format, Args &&... args)
  {
    Instance().write(loc, lvl, format, args...);
  }

  /// Number of enabled messages so far, modulo 256 (the record shows it modulo 128).
  std::uint8_t getCounter() const { return counter.load(); }

  /// The spdlog level number in force (0 trace ... 5 critical).
  int getLevel() const { return level; }

  /// The spdlog logger; empty if construction stopped before it was made.
  std::shared_ptr<spdlog::logger> getLogger() const { return logger; }

  Logger(const Logger &) = delete;
  Logger & operator=(const Logger &) = delete;

private:
  Logger()
  {
    try {
      std::vector<spdlog::sink_ptr> sinks;

      const char * out = std::getenv("SPDLOG_STDOUT");
      if (out == nullptr) {
        std::cout << "environment variable SPDLOG_STDOUT is not set, and set true\n";
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
      } else if (std::string(out) == "true") {
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
      } else if (std::string(out) != "false") {
        std::cout << "environment variable SPDLOG_STDOUT is invalid, and set true\n";
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
      }

      const char * journal = std::getenv("SPDLOG_SYSTEMD");
      if (journal == nullptr) {
        std::cout << "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
      } else if (std::string(journal) == "true") {
        sinks.push_back(std::make_shared<spdlog::sinks::systemd_sink_mt>());
      } else if (std::string(journal) != "false") {
        std::cout << "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
      }

      logger = std::make_shared<spdlog::logger>("spdlog", sinks.begin(), sinks.end());

      int lvl = 2;
      const char * name = std::getenv("SPDLOG_LEVEL");
      if (name == nullptr) {
        std::cout << "environment variable SPDLOG_LEVEL is not set, and set default level\n";
      } else {
        const std::unordered_map<std::string, int> levels{
            {"trace", 0}, {"debug", 1}, {"info", 2}, {"warning", 3}, {"error", 4}, {"critical", 5}};
        const auto found = levels.find(name);
        if (found == levels.end()) {
          std::cout << "environment variable SPDLOG_LEVEL is invalid, and set default level\n";
        } else {
          lvl = found->second;
        }
      }
      level = lvl;
      logger->set_level(static_cast<spdlog::level::level_enum>(level));
      logger->set_pattern("%v");
    } catch (const spdlog::spdlog_ex &) {
      // Keep what was set up so far; logging must keep working without it.
    }
  }

  template <typename... Args>
  void write(
      spdlog::source_loc loc, spdlog::level::level_enum lvl, const char * format, Args &... args)
  {
    const std::string text = fmt::format(fmt::runtime(format), args...);
    std::uint8_t number = counter.load();
    if (static_cast<int>(lvl) >= level) {
      number = static_cast<std::uint8_t>(counter.fetch_add(1) + 1);
    }
    if (!logger) {
      return;
    }
    const char * tag = "DEBUG";
    switch (lvl) {
      case spdlog::level::info:
        tag = "INFO";
        break;
      case spdlog::level::warn:
        tag = "WARN";
        break;
      case spdlog::level::err:
        tag = "ERROR";
        break;
      case spdlog::level::critical:
        tag = "CRITICAL";
        break;
      default:
        break;
    }
    const std::string record = fmt::format("{0:3d} [{1}] ", number & 0x7f, tag) + text;
    logger->log(loc, lvl, spdlog::string_view_t(record));
  }

  std::shared_ptr<spdlog::logger> logger;
  std::atomic<std::uint8_t> counter{0};
  int level{2};
};

/**
 * The throttle state of one source unit: the time each key last passed, in nanoseconds since the
 * system-clock epoch. A key passes when it is new or when more than 20 s have gone by since it
 * last passed; a suppressed attempt leaves the stored time alone.
 */
class BRINDLEX_UTIL_VISIBILITY ThrottleTable
{
public:
  using Clock = std::int64_t (*)();

  /// Nanoseconds since the system-clock epoch.
  static std::int64_t systemNow()
  {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  /// True if `key` may be written now; records the time when it may.
  bool pass(const std::string & key)
  {
    std::lock_guard<std::mutex> lock(mutex);
    const std::int64_t now = clock();
    const auto found = times.find(key);
    if (found != times.end() &&
        !(static_cast<double>(now) > static_cast<double>(found->second) + 2e10)) {
      return false;
    }
    times[key] = now;
    return true;
  }

  /// Guards `times` and `clock`.
  std::mutex mutex;
  /// Key to the time it last passed (ns since the epoch).
  std::unordered_map<std::string, std::int64_t> times;
  /// Time source; tests may replace it (under `mutex` if other threads log).
  Clock clock{&ThrottleTable::systemNow};
};

// One table per source unit that includes this header: a key is throttled per unit.
static ThrottleTable throttle_table;

}  // namespace brindlex

/// Record location of the code that expands it.
#define BRINDLEX_LOG_HERE \
  spdlog::source_loc { __FILE__, __LINE__, SPDLOG_FUNCTION }

// <syslog.h>, pulled in by the journal sink, defines LOG_INFO as a priority number; the journal
// sink above has already used it, and the system's code means the logging form below.
#undef LOG_INFO

/// LOG_INFO(format, args...) and friends: Log at that level with the caller's location.
#define LOG_INFO(...) ::brindlex::Logger::LogAt(BRINDLEX_LOG_HERE, spdlog::level::info, __VA_ARGS__)
#define LOG_WARN(...) ::brindlex::Logger::LogAt(BRINDLEX_LOG_HERE, spdlog::level::warn, __VA_ARGS__)
#define LOG_ERROR(...) ::brindlex::Logger::LogAt(BRINDLEX_LOG_HERE, spdlog::level::err, __VA_ARGS__)
#define LOG_CRITICAL(...) \
  ::brindlex::Logger::LogAt(BRINDLEX_LOG_HERE, spdlog::level::critical, __VA_ARGS__)

/// LOG_THROTTLE(key, type, format, args...): Log, at most once per 20 s per key in this unit.
#define LOG_THROTTLE(key, type, ...)                \
  do {                                              \
    if (::brindlex::throttle_table.pass(key)) {     \
      ::brindlex::Logger::Log((type), __VA_ARGS__); \
    }                                               \
  } while (false)

namespace util {

/**
 * A fixed set of worker threads taking tasks from one FIFO queue. Destruction runs every task
 * still queued, then joins the workers. Not copyable or movable: the workers refer to the pool.
 * A task that throws is reported as an ERROR record; its worker carries on.
 */
class BRINDLEX_UTIL_VISIBILITY ThreadPool
{
public:
  /// Starts `threads` workers (none for 0).
  explicit ThreadPool(std::size_t threads)
  {
    try {
      for (std::size_t i = 0; i < threads; ++i) {
        workers.emplace_back([this] { workerLoop(); });
      }
    } catch (...) {
      shutdown();
      throw;
    }
  }

  /// Stops taking work, runs what is queued and joins every worker.
  ~ThreadPool() { shutdown(); }

  ThreadPool(const ThreadPool &) = delete;
  ThreadPool & operator=(const ThreadPool &) = delete;
  ThreadPool(ThreadPool &&) = delete;
  ThreadPool & operator=(ThreadPool &&) = delete;

  /**
   * Queues `task` and wakes one worker. Returns false, leaving the task unrun, once the pool is
   * stopping, when it has no workers to run it, or when `task` is empty. Takes `mutex`.
   */
  bool push(std::function<void()> task)
  {
    if (!task) {
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (stop || workers.empty()) {
        return false;
      }
      task_queue.push(std::move(task));
    }
    wakeup.notify_one();
    return true;
  }

private:
  void workerLoop()
  {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wakeup.wait(lock, [this] { return stop || !task_queue.empty(); });
        if (stop && task_queue.empty()) {
          return;
        }
        task = std::move(task_queue.front());
        task_queue.pop();
      }
      try {
        task();
      } catch (...) {
        report(std::current_exception());
      }
    }
  }

  static void report(const std::exception_ptr & error) noexcept
  {
    try {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception & e) {
        brindlex::Logger::Log(3, "ThreadPool task threw: {}", e.what());
      } catch (...) {
        brindlex::Logger::Log(3, "ThreadPool task threw a non-standard exception");
      }
    } catch (...) {
      // Nothing left to report with; the worker must go on.
    }
  }

  void shutdown()
  {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    wakeup.notify_all();
    for (std::thread & worker : workers) {
      if (worker.joinable()) {
        worker.join();
      }
    }
  }

  /// The worker threads, in start order.
  std::vector<std::thread> workers;
  /// Pending tasks, oldest first; guarded by `mutex`.
  std::queue<std::function<void()>, std::deque<std::function<void()>>> task_queue;
  /// Guards `task_queue` and `stop`.
  std::mutex mutex;
  /// Wakes workers when a task arrives or the pool stops.
  std::condition_variable wakeup;
  /// Set once, by destruction; guarded by `mutex`.
  bool stop{false};
};

}  // namespace util

#endif  // UTIL__UTIL_HPP_
