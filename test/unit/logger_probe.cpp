// Helper program for the logger environment tests: logs a fixed script chosen by its first
// argument, then reports what the logger holds. Run in a fresh process per case.
//
//   logger_probe sinks       one INFO and one DEBUG record, then the counter and the sink kinds
//   logger_probe levels      one record of every level, in a fixed order
//   logger_probe count N     N INFO records, then the counter
//   logger_probe braces      texts holding braces, with and without arguments

#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/systemd_sink.h>

#include <iostream>
#include <string>

#include "util/util.hpp"

namespace {

void reportCounter()
{
  std::cout << "counter=" << static_cast<int>(brindlex::Logger::Instance().getCounter()) << "\n";
}

void reportSinks()
{
  std::string kinds;
  for (const auto & sink : brindlex::Logger::Instance().getLogger()->sinks()) {
    if (!kinds.empty()) {
      kinds += ",";
    }
    if (dynamic_cast<spdlog::sinks::ansicolor_stdout_sink_mt *>(sink.get()) != nullptr) {
      kinds += "stdout";
    } else if (dynamic_cast<spdlog::sinks::systemd_sink_mt *>(sink.get()) != nullptr) {
      kinds += "systemd";
    } else {
      kinds += "other";
    }
  }
  std::cout << "sinks=" << kinds << "\n";
}

}  // namespace

int main(int argc, char ** argv)
{
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "sinks") {
    brindlex::Logger::Log(1, "info text");
    brindlex::Logger::Log(0, "debug text");
    reportCounter();
    reportSinks();
  } else if (mode == "levels") {
    brindlex::Logger::Log(0, "debug text");
    brindlex::Logger::Log(1, "info text");
    brindlex::Logger::Log(2, "warn text");
    brindlex::Logger::Log(3, "error text");
    brindlex::Logger::Log(7, "other type");
    LOG_CRITICAL("critical {}", "text");
    LOG_INFO("info again");
    LOG_WARN("warn again");
  } else if (mode == "count" && argc > 2) {
    const int n = std::stoi(argv[2]);
    for (int i = 1; i <= n; ++i) {
      brindlex::Logger::Log(1, "message {}", i);
    }
    reportCounter();
  } else if (mode == "braces") {
    brindlex::Logger::Log(1, "set {{a, b}} and {{}}");
    LOG_ERROR("{{only}}");
    brindlex::Logger::Log(2, "{} stays", "{kept}");
  } else {
    std::cerr << "usage: logger_probe sinks|levels|count N|braces\n";
    return 2;
  }
  return 0;
}
