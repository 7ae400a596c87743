// The logger's set-up from SPDLOG_STDOUT, SPDLOG_SYSTEMD and SPDLOG_LEVEL, and the records it
// writes to standard output. Every case runs the probe program in a fresh process.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace {

const char * const kStdoutNotSet = "environment variable SPDLOG_STDOUT is not set, and set true\n";
const char * const kStdoutInvalid = "environment variable SPDLOG_STDOUT is invalid, and set true\n";
const char * const kSystemdNotSet =
    "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
const char * const kSystemdInvalid =
    "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
const char * const kLevelNotSet =
    "environment variable SPDLOG_LEVEL is not set, and set default level\n";
const char * const kLevelInvalid =
    "environment variable SPDLOG_LEVEL is invalid, and set default level\n";

using Env = std::map<std::string, std::string>;

test_util::ChildResult runProbe(const std::vector<std::string> & args, const Env & env)
{
  return test_util::runChild(LOGGER_PROBE_PATH, args, env);
}

std::vector<std::string> lines(const std::string & text)
{
  std::vector<std::string> out;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    out.push_back(line);
  }
  return out;
}

struct EnvCase
{
  const char * name;
  Env env;
  std::string expected;
};

void PrintTo(const EnvCase & c, std::ostream * os) { *os << c.name; }

class LoggerSinkEnvironment : public ::testing::TestWithParam<EnvCase>
{
};

TEST_P(LoggerSinkEnvironment, PrintsNotesAndChoosesSinks)
{
  const EnvCase & c = GetParam();
  const auto result = runProbe({"sinks"}, c.env);
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, c.expected);
}

const std::string kInfoRecord = "  1 [INFO] info text\n";

INSTANTIATE_TEST_SUITE_P(
    Cases,
    LoggerSinkEnvironment,
    ::testing::Values(
        EnvCase{
            "nothing_set",
            {},
            std::string(kStdoutNotSet) + kSystemdNotSet + kLevelNotSet + kInfoRecord +
                "counter=1\nsinks=stdout\n"},
        EnvCase{
            "all_set_valid",
            {{"SPDLOG_STDOUT", "true"}, {"SPDLOG_SYSTEMD", "false"}, {"SPDLOG_LEVEL", "info"}},
            kInfoRecord + "counter=1\nsinks=stdout\n"},
        EnvCase{
            "stdout_true",
            {{"SPDLOG_STDOUT", "true"}},
            std::string(kSystemdNotSet) + kLevelNotSet + kInfoRecord + "counter=1\nsinks=stdout\n"},
        EnvCase{
            "stdout_false_discards_but_counts",
            {{"SPDLOG_STDOUT", "false"}},
            std::string(kSystemdNotSet) + kLevelNotSet + "counter=1\nsinks=\n"},
        EnvCase{
            "stdout_capitals_invalid",
            {{"SPDLOG_STDOUT", "TRUE"}},
            std::string(kStdoutInvalid) + kSystemdNotSet + kLevelNotSet + kInfoRecord +
                "counter=1\nsinks=stdout\n"},
        EnvCase{
            "stdout_empty_invalid",
            {{"SPDLOG_STDOUT", ""}},
            std::string(kStdoutInvalid) + kSystemdNotSet + kLevelNotSet + kInfoRecord +
                "counter=1\nsinks=stdout\n"},
        EnvCase{
            "systemd_true_after_stdout",
            {{"SPDLOG_SYSTEMD", "true"}},
            std::string(kStdoutNotSet) + kLevelNotSet + kInfoRecord +
                "counter=1\nsinks=stdout,systemd\n"},
        EnvCase{
            "systemd_only",
            {{"SPDLOG_STDOUT", "false"}, {"SPDLOG_SYSTEMD", "true"}},
            std::string(kLevelNotSet) + "counter=1\nsinks=systemd\n"},
        EnvCase{
            "systemd_false",
            {{"SPDLOG_SYSTEMD", "false"}},
            std::string(kStdoutNotSet) + kLevelNotSet + kInfoRecord + "counter=1\nsinks=stdout\n"},
        EnvCase{
            "systemd_capitals_invalid",
            {{"SPDLOG_SYSTEMD", "TRUE"}},
            std::string(kStdoutNotSet) + kSystemdInvalid + kLevelNotSet + kInfoRecord +
                "counter=1\nsinks=stdout\n"},
        EnvCase{
            "both_sinks_off_and_journal_invalid",
            {{"SPDLOG_STDOUT", "false"}, {"SPDLOG_SYSTEMD", "yes"}},
            std::string(kSystemdInvalid) + kLevelNotSet + "counter=1\nsinks=\n"}),
    [](const ::testing::TestParamInfo<EnvCase> & info) { return std::string(info.param.name); });

struct LevelCase
{
  const char * name;
  const char * value;  // nullptr: SPDLOG_LEVEL unset
  std::string expected;
};

void PrintTo(const LevelCase & c, std::ostream * os) { *os << c.name; }

class LoggerLevelEnvironment : public ::testing::TestWithParam<LevelCase>
{
};

TEST_P(LoggerLevelEnvironment, WritesAndCountsOnlyEnabledLevels)
{
  const LevelCase & c = GetParam();
  Env env{{"SPDLOG_STDOUT", "true"}, {"SPDLOG_SYSTEMD", "false"}};
  if (c.value != nullptr) {
    env["SPDLOG_LEVEL"] = c.value;
  }
  const auto result = runProbe({"levels"}, env);
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, c.expected);
}

const std::string kDebugAndUp =
    "  1 [DEBUG] debug text\n"
    "  2 [INFO] info text\n"
    "  3 [WARN] warn text\n"
    "  4 [ERROR] error text\n"
    "  5 [DEBUG] other type\n"
    "  6 [CRITICAL] critical text\n"
    "  7 [INFO] info again\n"
    "  8 [WARN] warn again\n";
const std::string kInfoAndUp =
    "  1 [INFO] info text\n"
    "  2 [WARN] warn text\n"
    "  3 [ERROR] error text\n"
    "  4 [CRITICAL] critical text\n"
    "  5 [INFO] info again\n"
    "  6 [WARN] warn again\n";

INSTANTIATE_TEST_SUITE_P(
    Cases,
    LoggerLevelEnvironment,
    ::testing::Values(
        LevelCase{"unset", nullptr, kLevelNotSet + kInfoAndUp},
        LevelCase{"trace", "trace", kDebugAndUp},
        LevelCase{"debug", "debug", kDebugAndUp},
        LevelCase{"info", "info", kInfoAndUp},
        LevelCase{
            "warning",
            "warning",
            "  1 [WARN] warn text\n"
            "  2 [ERROR] error text\n"
            "  3 [CRITICAL] critical text\n"
            "  4 [WARN] warn again\n"},
        LevelCase{
            "error",
            "error",
            "  1 [ERROR] error text\n"
            "  2 [CRITICAL] critical text\n"},
        LevelCase{"critical", "critical", "  1 [CRITICAL] critical text\n"},
        LevelCase{"warn_invalid", "warn", kLevelInvalid + kInfoAndUp},
        LevelCase{"err_invalid", "err", kLevelInvalid + kInfoAndUp},
        LevelCase{"off_invalid", "off", kLevelInvalid + kInfoAndUp},
        LevelCase{"capitals_invalid", "DEBUG", kLevelInvalid + kInfoAndUp},
        LevelCase{"empty_invalid", "", kLevelInvalid + kInfoAndUp}),
    [](const ::testing::TestParamInfo<LevelCase> & info) { return std::string(info.param.name); });

class LoggerRecords : public ::testing::Test
{
protected:
  const Env quiet{{"SPDLOG_STDOUT", "true"}, {"SPDLOG_SYSTEMD", "false"}, {"SPDLOG_LEVEL", "info"}};
};

TEST_F(LoggerRecords, NumbersRunModulo128InThreeColumns)
{
  const int n = 300;
  const auto result = runProbe({"count", std::to_string(n)}, quiet);
  ASSERT_EQ(result.exit_code, 0);
  const auto out = lines(result.out);
  ASSERT_EQ(out.size(), static_cast<std::size_t>(n + 1));
  EXPECT_EQ(out[0], "  1 [INFO] message 1");
  EXPECT_EQ(out[6], "  7 [INFO] message 7");
  EXPECT_EQ(out[41], " 42 [INFO] message 42");
  EXPECT_EQ(out[126], "127 [INFO] message 127");
  EXPECT_EQ(out[127], "  0 [INFO] message 128");
  EXPECT_EQ(out[128], "  1 [INFO] message 129");
  EXPECT_EQ(out[255], "  0 [INFO] message 256");
  EXPECT_EQ(out[256], "  1 [INFO] message 257");
  for (int i = 1; i <= n; ++i) {
    char prefix[8];
    std::snprintf(prefix, sizeof(prefix), "%3d", i % 128);
    EXPECT_EQ(out[i - 1], std::string(prefix) + " [INFO] message " + std::to_string(i));
  }
  EXPECT_EQ(out[n], "counter=" + std::to_string(n % 256));
}

TEST_F(LoggerRecords, SinksOffStillCountEveryEnabledMessage)
{
  const auto result = runProbe(
      {"count", "130"},
      {{"SPDLOG_STDOUT", "false"}, {"SPDLOG_SYSTEMD", "false"}, {"SPDLOG_LEVEL", "info"}});
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, "counter=130\n");
}

TEST_F(LoggerRecords, DoubledBracesInPlainTextPrintSingle)
{
  const auto result = runProbe({"braces"}, quiet);
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_EQ(
      result.out,
      "  1 [INFO] set {a, b} and {}\n"
      "  2 [ERROR] {only}\n"
      "  3 [WARN] {kept} stays\n");
}

}  // namespace
