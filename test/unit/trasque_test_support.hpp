#ifndef TEST__UNIT__TRASQUE_TEST_SUPPORT_HPP_
#define TEST__UNIT__TRASQUE_TEST_SUPPORT_HPP_

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/gridmap.hpp"

namespace trasque_test {

/// One record of the libraries' logger: level tag and text after the "NNN [LEVEL] " prefix.
struct LogRecord
{
  std::string level;
  std::string text;

  bool operator==(const LogRecord & other) const
  {
    return level == other.level && text == other.text;
  }
};

inline std::ostream & operator<<(std::ostream & os, const LogRecord & record)
{
  return os << "[" << record.level << "] " << record.text;
}

/// Records to standard output at info level, so the records under test are written. Call before
/// the first library call of the process (the logger reads the environment once).
inline void useStdoutLogger()
{
  setenv("SPDLOG_STDOUT", "true", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
}

/// Captures standard output while alive and returns the logger records written meanwhile (other
/// lines, such as map_io's debug lines, are left out).
class LogCapture
{
public:
  LogCapture() { testing::internal::CaptureStdout(); }
  ~LogCapture()
  {
    if (!taken_) {
      testing::internal::GetCapturedStdout();
    }
  }
  LogCapture(const LogCapture &) = delete;
  LogCapture & operator=(const LogCapture &) = delete;

  std::vector<LogRecord> records()
  {
    taken_ = true;
    const std::string out = testing::internal::GetCapturedStdout();
    std::vector<LogRecord> result;
    std::istringstream lines(out);
    std::string line;
    LogRecord record;
    while (std::getline(lines, line)) {
      if (parse(line, record)) {
        result.push_back(record);
      }
    }
    return result;
  }

  /// Parses "NNN [LEVEL] text", NNN right-aligned in three columns.
  static bool parse(const std::string & line, LogRecord & record)
  {
    if (line.size() < 6 || line.compare(3, 2, " [") != 0) {
      return false;
    }
    const std::string number = line.substr(0, 3);
    const size_t first_digit = number.find_first_not_of(' ');
    if (first_digit == std::string::npos ||
        number.find_first_not_of("0123456789", first_digit) != std::string::npos) {
      return false;
    }
    const size_t close = line.find("] ", 5);
    if (close == std::string::npos) {
      return false;
    }
    const std::string level = line.substr(5, close - 5);
    for (const char * known : {"DEBUG", "INFO", "WARN", "ERROR", "CRITICAL"}) {
      if (level == known) {
        record = {level, line.substr(close + 2)};
        return true;
      }
    }
    return false;
  }

private:
  bool taken_{false};
};

/// Cells of a raster as text rows, top row (highest y) first: '#' set, '.' clear.
inline std::vector<std::string> picture(const semantic_map::Gridmap<bool> & raster)
{
  std::vector<std::string> rows;
  for (uint32_t r = raster.size_y; r-- > 0;) {
    std::string row;
    for (uint32_t c = 0; c < raster.size_x; ++c) {
      row += raster.data[r * raster.size_x + c] ? '#' : '.';
    }
    rows.push_back(row);
  }
  return rows;
}

inline size_t countSet(const semantic_map::Gridmap<bool> & raster)
{
  size_t n = 0;
  for (size_t i = 0; i < static_cast<size_t>(raster.size_x) * raster.size_y; ++i) {
    n += raster.data[i] ? 1 : 0;
  }
  return n;
}

}  // namespace trasque_test

#endif  // TEST__UNIT__TRASQUE_TEST_SUPPORT_HPP_
