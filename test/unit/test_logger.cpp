// Records of the logger as spdlog receives them: level, text, prefix and source location; the
// throttle rule with a stand-in clock; counting under concurrent use.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.hpp"
#include "logger_throttle_peer.hpp"
#include "util/util.hpp"

namespace {

using test_util::Record;

bool endsWith(const std::string & text, const std::string & tail)
{
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// Prefix the next enabled record carries.
std::string nextPrefix(const char * tag)
{
  const int next = (brindlex::Logger::Instance().getCounter() + 1) & 0x7f;
  return fmt::format("{:3d} [{}] ", next, tag);
}

class LoggerRecordTest : public ::testing::Test
{
protected:
  test_util::ScopedCapture capture;
};

TEST_F(LoggerRecordTest, LogCarriesTheHeaderLocationPerLevel)
{
  const std::map<int, spdlog::level::level_enum> levels{
      {0, spdlog::level::debug},
      {1, spdlog::level::info},
      {2, spdlog::level::warn},
      {3, spdlog::level::err},
      {9, spdlog::level::debug},
      {-1, spdlog::level::debug}};
  for (const auto & [type, level] : levels) {
    brindlex::Logger::Log(type, "type {}", type);
  }
  const auto records = capture.records();
  ASSERT_EQ(records.size(), levels.size());

  std::map<int, int> line_of_type;
  std::size_t i = 0;
  for (const auto & [type, level] : levels) {
    const Record & r = records[i++];
    EXPECT_EQ(r.level, level) << "type " << type;
    EXPECT_TRUE(endsWith(r.file, "util/util.hpp")) << r.file;
    EXPECT_EQ(r.function, "Log");
    EXPECT_GT(r.line, 0);
    line_of_type[type] = r.line;
  }
  // Each level has its own branch; unknown types take the DEBUG branch.
  EXPECT_NE(line_of_type[0], line_of_type[1]);
  EXPECT_NE(line_of_type[1], line_of_type[2]);
  EXPECT_NE(line_of_type[2], line_of_type[3]);
  EXPECT_NE(line_of_type[0], line_of_type[3]);
  EXPECT_EQ(line_of_type[9], line_of_type[0]);
  EXPECT_EQ(line_of_type[-1], line_of_type[0]);
}

TEST_F(LoggerRecordTest, CallSiteMacrosCarryTheCallerLocation)
{
  struct Expected
  {
    int line;
    spdlog::level::level_enum level;
    std::string prefix;
  };
  std::vector<Expected> expected;
  expected.push_back({__LINE__ + 1, spdlog::level::info, nextPrefix("INFO")});
  LOG_INFO("value {}", 1);
  expected.push_back({__LINE__ + 1, spdlog::level::warn, nextPrefix("WARN")});
  LOG_WARN("value {}", 2);
  expected.push_back({__LINE__ + 1, spdlog::level::err, nextPrefix("ERROR")});
  LOG_ERROR("value {}", 3);
  expected.push_back({__LINE__ + 1, spdlog::level::critical, nextPrefix("CRITICAL")});
  LOG_CRITICAL("value {}", 4);

  const auto records = capture.records();
  ASSERT_EQ(records.size(), expected.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].file, __FILE__);
    EXPECT_EQ(records[i].line, expected[i].line);
    EXPECT_EQ(records[i].function, "TestBody");
    EXPECT_EQ(records[i].level, expected[i].level);
    EXPECT_EQ(records[i].text, expected[i].prefix + "value " + std::to_string(i + 1));
  }
}

TEST_F(LoggerRecordTest, TextIsFormattedOnce)
{
  const std::string prefix = nextPrefix("INFO");
  brindlex::Logger::Log(1, "{} and {{literal}}", "{argument}");
  const auto records = capture.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, prefix + "{argument} and {literal}");
}

TEST_F(LoggerRecordTest, ConcurrentMessagesGetDistinctNumbers)
{
  // 8 x 128 records: a lost or doubled increment shows as a number that is not used exactly
  // 8 times.
  const int threads = 8;
  const int per_thread = 128;
  const std::uint8_t start = brindlex::Logger::Instance().getCounter();
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < per_thread; ++i) {
        brindlex::Logger::Log(1, "writer {} message {}", t, i);
      }
    });
  }
  for (auto & writer : writers) {
    writer.join();
  }
  const auto records = capture.records();
  ASSERT_EQ(records.size(), static_cast<std::size_t>(threads * per_thread));
  std::map<int, int> uses;
  for (const Record & r : records) {
    ++uses[std::stoi(r.text.substr(0, 3))];
  }
  ASSERT_EQ(uses.size(), 128u);
  for (const auto & [number, count] : uses) {
    EXPECT_EQ(count, threads) << "number " << number;
  }
  EXPECT_EQ(
      brindlex::Logger::Instance().getCounter(),
      static_cast<std::uint8_t>(start + threads * per_thread));
}

// The throttle tables of this unit and of the peer unit read a clock the test sets.
std::atomic<std::int64_t> fake_now{0};
std::int64_t fakeClock() { return fake_now.load(); }

constexpr std::int64_t kSecond = 1000000000;
// Small enough that every time used here is exact as a double.
constexpr std::int64_t kStart = 1000 * kSecond;

class ThrottleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fake_now = kStart;
    for (brindlex::ThrottleTable * table : tables()) {
      std::lock_guard<std::mutex> lock(table->mutex);
      table->times.clear();
      table->clock = &fakeClock;
    }
  }

  void TearDown() override
  {
    for (brindlex::ThrottleTable * table : tables()) {
      std::lock_guard<std::mutex> lock(table->mutex);
      table->clock = &brindlex::ThrottleTable::systemNow;
    }
  }

  static std::vector<brindlex::ThrottleTable *> tables()
  {
    return {&brindlex::throttle_table, &test_util::peerThrottleTable()};
  }

  /// LOG_THROTTLE from this unit at the given time; true if it wrote a record.
  bool throttledAt(std::int64_t now, const std::string & key, int type = 1)
  {
    fake_now = now;
    const std::size_t before = capture.records().size();
    LOG_THROTTLE(key, type, "throttled {} at {}", key, now);
    return capture.records().size() > before;
  }

  test_util::ScopedCapture capture;
};

TEST_F(ThrottleTest, FirstPassesThenQuietForTwentySeconds)
{
  EXPECT_TRUE(throttledAt(kStart, "key"));
  EXPECT_FALSE(throttledAt(kStart, "key"));
  EXPECT_FALSE(throttledAt(kStart + 1 * kSecond, "key"));
  // Another message sharing the key is throttled with it.
  EXPECT_FALSE(throttledAt(kStart + 10 * kSecond, "key", 2));
  EXPECT_FALSE(throttledAt(kStart + 20 * kSecond, "key"));
  EXPECT_TRUE(throttledAt(kStart + 20 * kSecond + 1, "key"));
}

TEST_F(ThrottleTest, SuppressedAttemptDoesNotMoveTheWindow)
{
  EXPECT_TRUE(throttledAt(kStart, "key"));
  EXPECT_FALSE(throttledAt(kStart + 15 * kSecond, "key"));
  EXPECT_TRUE(throttledAt(kStart + 25 * kSecond, "key"));
  // The window now runs from the last pass.
  EXPECT_FALSE(throttledAt(kStart + 45 * kSecond, "key"));
  EXPECT_TRUE(throttledAt(kStart + 45 * kSecond + 1, "key"));
  std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
  EXPECT_EQ(brindlex::throttle_table.times.at("key"), kStart + 45 * kSecond + 1);
}

TEST_F(ThrottleTest, KeysAreIndependent)
{
  EXPECT_TRUE(throttledAt(kStart, "a"));
  EXPECT_TRUE(throttledAt(kStart + kSecond, "b"));
  EXPECT_FALSE(throttledAt(kStart + 2 * kSecond, "a"));
  EXPECT_FALSE(throttledAt(kStart + 2 * kSecond, "b"));
}

TEST_F(ThrottleTest, EachSourceUnitHasItsOwnTable)
{
  EXPECT_TRUE(throttledAt(kStart, "shared"));

  fake_now = kStart + kSecond;
  test_util::peerThrottledInfo("shared", "from peer");
  auto records = capture.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(endsWith(records[1].text, "] from peer"));

  fake_now = kStart + 2 * kSecond;
  test_util::peerThrottledInfo("shared", "from peer again");
  EXPECT_FALSE(throttledAt(kStart + 2 * kSecond, "shared"));
  EXPECT_EQ(capture.records().size(), 2u);

  brindlex::ThrottleTable & peer = test_util::peerThrottleTable();
  std::lock_guard<std::mutex> peer_lock(peer.mutex);
  EXPECT_EQ(peer.times.at("shared"), kStart + kSecond);
}

TEST_F(ThrottleTest, PassingRecordIsWrittenThroughLog)
{
  ASSERT_TRUE(throttledAt(kStart, "key", 3));
  const auto records = capture.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, spdlog::level::err);
  EXPECT_EQ(records[0].function, "Log");
  EXPECT_TRUE(endsWith(records[0].file, "util/util.hpp"));
  EXPECT_EQ(records[0].text.substr(3), " [ERROR] throttled key at " + std::to_string(kStart));
}

TEST_F(ThrottleTest, ConcurrentAttemptsLetOneThrough)
{
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 50; ++i) {
        LOG_THROTTLE("busy", 1, "busy {}", i);
      }
    });
  }
  for (auto & thread : threads) {
    thread.join();
  }
  EXPECT_EQ(capture.records().size(), 1u);
}

TEST_F(ThrottleTest, DefaultClockIsSystemTimeInNanoseconds)
{
  {
    std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
    brindlex::throttle_table.clock = &brindlex::ThrottleTable::systemNow;
  }
  const auto since_epoch = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  const std::int64_t before = since_epoch();
  LOG_THROTTLE("real", 1, "real clock");
  const std::int64_t after = since_epoch();
  std::lock_guard<std::mutex> lock(brindlex::throttle_table.mutex);
  const std::int64_t stored = brindlex::throttle_table.times.at("real");
  EXPECT_GE(stored, before);
  EXPECT_LE(stored, after);
}

}  // namespace

int main(int argc, char ** argv)
{
  // This executable's logger: no console output, every level enabled, records seen through
  // the capture sink only.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "debug", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
