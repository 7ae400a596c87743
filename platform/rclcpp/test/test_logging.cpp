#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"

namespace {

struct Captured
{
  int severity;
  std::string name;
  std::string text;
};

std::mutex g_mutex;
std::vector<Captured> g_records;

void capture_handler(
    const rcutils_log_location_t *,
    int severity,
    const char * name,
    rcutils_time_point_value_t,
    const char * format,
    va_list * args)
{
  char buffer[1024];
  va_list copy;
  va_copy(copy, *args);
  vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.push_back({severity, name ? name : "", buffer});
}

// Routes rcutils output into g_records for the duration of a test.
class LoggingTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    previous_ = rcutils_logging_get_output_handler();
    rcutils_logging_set_output_handler(capture_handler);
    g_records.clear();
  }

  void TearDown() override { rcutils_logging_set_output_handler(previous_); }

  std::vector<std::string> texts()
  {
    std::vector<std::string> result;
    for (const auto & record : g_records) {
      result.push_back(record.text);
    }
    return result;
  }

  rcutils_logging_output_handler_t previous_;
};

TEST_F(LoggingTest, FormatsAndNamesRecords)
{
  auto logger = rclcpp::get_logger("stand_in_test");
  RCLCPP_INFO(logger, "value %d of %s", 3, "x");
  RCLCPP_WARN_STREAM(logger, "stream " << 4.5 << " end");
  RCLCPP_ERROR(logger.get_child("child"), "plain");
  ASSERT_EQ(3u, g_records.size());
  EXPECT_EQ("value 3 of x", g_records[0].text);
  EXPECT_EQ(RCUTILS_LOG_SEVERITY_INFO, g_records[0].severity);
  EXPECT_EQ("stand_in_test", g_records[0].name);
  EXPECT_EQ("stream 4.5 end", g_records[1].text);
  EXPECT_EQ(RCUTILS_LOG_SEVERITY_WARN, g_records[1].severity);
  EXPECT_EQ("stand_in_test.child", g_records[2].name);
}

TEST_F(LoggingTest, LevelsFilterRecords)
{
  auto logger = rclcpp::get_logger("leveled");
  RCLCPP_DEBUG(logger, "hidden at the default level");
  logger.set_level(rclcpp::Logger::Level::Debug);
  RCLCPP_DEBUG(logger, "shown");
  logger.set_level(rclcpp::Logger::Level::Error);
  RCLCPP_WARN(logger, "hidden below error");
  RCLCPP_FATAL(logger, "fatal");
  EXPECT_EQ((std::vector<std::string>{"shown", "fatal"}), texts());
  logger.set_level(rclcpp::Logger::Level::Unset);
}

TEST_F(LoggingTest, ConditionalForms)
{
  auto logger = rclcpp::get_logger("conditional");
  for (int i = 0; i < 3; ++i) {
    RCLCPP_INFO_ONCE(logger, "once %d", i);
    RCLCPP_INFO_SKIPFIRST(logger, "skipfirst %d", i);
    RCLCPP_INFO_EXPRESSION(logger, i == 1, "expression %d", i);
  }
  EXPECT_EQ(
      (std::vector<std::string>{"once 0", "skipfirst 1", "expression 1", "skipfirst 2"}), texts());
}

TEST_F(LoggingTest, ThrottleLogsFirstThenOncePerPeriod)
{
  auto logger = rclcpp::get_logger("throttled");
  rclcpp::Clock clock(RCL_STEADY_TIME);
  for (int i = 0; i < 5; ++i) {
    // An hour-long period: only the first call can log.
    RCLCPP_WARN_THROTTLE(logger, clock, 3600 * 1000, "throttled %d", i);
  }
  EXPECT_EQ((std::vector<std::string>{"throttled 0"}), texts());
}

TEST_F(LoggingTest, NodeLoggerIsNamedAfterNamespaceAndName)
{
  rclcpp::init(0, nullptr);
  auto node = std::make_shared<rclcpp::Node>("mapper", "/robot/global");
  auto root = std::make_shared<rclcpp::Node>("rooted");
  EXPECT_STREQ("robot.global.mapper", node->get_logger().get_name());
  EXPECT_STREQ("rooted", root->get_logger().get_name());
  rclcpp::shutdown();
}

}  // namespace
