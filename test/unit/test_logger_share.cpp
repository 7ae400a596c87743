// One logger object for all shared libraries of a process, another for the executable.

#include <gtest/gtest.h>

#include <string>

#include "child_process.hpp"
#include "logger_share_lib.hpp"
#include "util/util.hpp"

namespace {

TEST(LoggerSharing, LibrariesShareOneObjectTheExecutableKeepsItsOwn)
{
  test_util::LoadedShareLib a(LOGGER_SHARE_A_PATH);
  test_util::LoadedShareLib b(LOGGER_SHARE_B_PATH);
  ASSERT_NE(a.handle, b.handle);
  ASSERT_NE(a.instance, b.instance);  // two separate copies of the code

  void * const shared = a.instance();
  EXPECT_EQ(b.instance(), shared);
  EXPECT_EQ(logger_share_instance(), shared);
  EXPECT_NE(static_cast<void *>(&brindlex::Logger::Instance()), shared);
}

const std::string kNotes =
    "environment variable SPDLOG_STDOUT is not set, and set true\n"
    "environment variable SPDLOG_SYSTEMD is not set, and set false\n"
    "environment variable SPDLOG_LEVEL is not set, and set default level\n";

TEST(LoggerSharing, ExecutableAndLibrariesNumberIndependently)
{
  const auto result = test_util::runChild(LOGGER_SHARE_PROBE_PATH, {}, {});
  ASSERT_EQ(result.exit_code, 0);
  // Each logger object prints its notes once, when it is built.
  EXPECT_EQ(
      result.out,
      kNotes + "  1 [INFO] executable one\n" + kNotes +
          "  1 [INFO] a one\n"
          "  2 [INFO] b one\n"
          "  3 [INFO] linked one\n"
          "  2 [INFO] executable two\n"
          "  4 [INFO] a two\n");
}

TEST(LoggerSharing, DlopenedLibrariesShareWithoutALinkedOne)
{
  const auto result = test_util::runChild(LOGGER_SHARE_PROBE_DLOPEN_ONLY_PATH, {}, {});
  ASSERT_EQ(result.exit_code, 0);
  EXPECT_EQ(
      result.out,
      kNotes + "  1 [INFO] executable one\n" + kNotes +
          "  1 [INFO] a one\n"
          "  2 [INFO] b one\n"
          "  2 [INFO] executable two\n"
          "  3 [INFO] a two\n");
}

}  // namespace
