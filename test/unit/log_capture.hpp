// A sink that keeps every record it receives, for tests that inspect what the logger wrote.

#ifndef UNIT__LOG_CAPTURE_HPP_
#define UNIT__LOG_CAPTURE_HPP_

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "util/util.hpp"

namespace test_util {

struct Record
{
  spdlog::level::level_enum level;
  std::string text;
  std::string file;
  int line;
  std::string function;
};

class CaptureSink : public spdlog::sinks::base_sink<std::mutex>
{
public:
  std::vector<Record> records()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return stored;
  }

protected:
  void sink_it_(const spdlog::details::log_msg & msg) override
  {
    stored.push_back(
        {msg.level,
         std::string(msg.payload.data(), msg.payload.size()),
         msg.source.filename ? msg.source.filename : "",
         msg.source.line,
         msg.source.funcname ? msg.source.funcname : ""});
  }
  void flush_() override {}

private:
  std::vector<Record> stored;
};

/// Attaches a CaptureSink to this executable's logger for the scope's lifetime. Attach and
/// detach only while no other thread logs.
class ScopedCapture
{
public:
  ScopedCapture() : sink(std::make_shared<CaptureSink>())
  {
    brindlex::Logger::Instance().getLogger()->sinks().push_back(sink);
  }
  ~ScopedCapture()
  {
    auto & sinks = brindlex::Logger::Instance().getLogger()->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
  }
  ScopedCapture(const ScopedCapture &) = delete;
  ScopedCapture & operator=(const ScopedCapture &) = delete;

  std::vector<Record> records() { return sink->records(); }

private:
  std::shared_ptr<CaptureSink> sink;
};

}  // namespace test_util

#endif  // UNIT__LOG_CAPTURE_HPP_
