#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "test_fixtures.hpp"

using rclcpp_test::wait_until;

namespace {

class ContextTest : public ::testing::Test
{
protected:
  void TearDown() override { rclcpp::shutdown(); }
};

TEST_F(ContextTest, ShutdownRunsPreShutdownThenOnShutdownCallbacks)
{
  rclcpp::init(0, nullptr);
  auto context = rclcpp::contexts::get_global_default_context();
  std::vector<std::string> order;
  auto pre = context->add_pre_shutdown_callback(
      [&order]() { order.push_back(rclcpp::ok() ? "pre:ok" : "pre:down"); });
  auto removed = context->add_pre_shutdown_callback([&order]() { order.push_back("removed"); });
  auto on = context->add_on_shutdown_callback(
      [&order]() { order.push_back(rclcpp::ok() ? "on:ok" : "on:down"); });
  EXPECT_TRUE(context->remove_pre_shutdown_callback(removed));
  EXPECT_FALSE(context->remove_pre_shutdown_callback(removed));

  EXPECT_TRUE(rclcpp::shutdown(nullptr, "test over"));
  EXPECT_EQ((std::vector<std::string>{"pre:ok", "on:down"}), order);
  EXPECT_EQ("test over", context->shutdown_reason());
  EXPECT_FALSE(rclcpp::ok());
  // A second shutdown reports that there was nothing to do.
  EXPECT_FALSE(rclcpp::shutdown());
  EXPECT_TRUE(context->remove_pre_shutdown_callback(pre));
  EXPECT_TRUE(context->remove_on_shutdown_callback(on));
}

TEST_F(ContextTest, InitTwiceThrowsAndReinitAfterShutdownWorks)
{
  rclcpp::init(0, nullptr);
  EXPECT_THROW(rclcpp::init(0, nullptr), rclcpp::ContextAlreadyInitialized);
  rclcpp::shutdown();
  EXPECT_FALSE(rclcpp::ok());
  rclcpp::init(0, nullptr);
  EXPECT_TRUE(rclcpp::ok());
}

TEST_F(ContextTest, UnknownRosArgumentsAreRejected)
{
  const char * argv[] = {"prog", "--ros-args", "--no-such-flag"};
  EXPECT_THROW(rclcpp::init(3, argv), rclcpp::exceptions::UnknownROSArgsError);
  EXPECT_FALSE(rclcpp::ok());
}

TEST_F(ContextTest, CommandLineReachesNodes)
{
  const char * argv[] = {
      "prog",
      "keep_me",
      "--ros-args",
      "-p",
      "answer:=42",
      "-r",
      "__ns:=/remapped",
      "--log-level",
      "warn",
      "--",
      "after"};
  rclcpp::init(11, argv);
  EXPECT_EQ(
      (std::vector<std::string>{"prog", "keep_me", "after"}),
      rclcpp::remove_ros_arguments(11, argv));
  auto node = std::make_shared<rclcpp::Node>("listener");
  EXPECT_STREQ("/remapped", node->get_namespace());
  EXPECT_EQ(42, node->declare_parameter("answer", 0));
  EXPECT_EQ(RCUTILS_LOG_SEVERITY_WARN, rcutils_logging_get_default_logger_level());

  // A node that ignores the global arguments keeps its own values.
  auto isolated =
      std::make_shared<rclcpp::Node>("isolated", rclcpp::NodeOptions().use_global_arguments(false));
  EXPECT_STREQ("/", isolated->get_namespace());
  EXPECT_EQ(0, isolated->declare_parameter("answer", 0));
  rcutils_logging_set_default_logger_level(RCUTILS_LOG_SEVERITY_INFO);
}

TEST_F(ContextTest, NodeArgumentsAndOverridesTakePrecedence)
{
  const char * argv[] = {"prog", "--ros-args", "-p", "a:=1", "-p", "b:=1", "-p", "c:=1"};
  rclcpp::init(8, argv);
  auto node = std::make_shared<rclcpp::Node>(
      "ordered",
      rclcpp::NodeOptions()
          .arguments({"--ros-args", "-p", "b:=2", "-p", "c:=2"})
          .append_parameter_override("c", 3));
  EXPECT_EQ(1, node->declare_parameter("a", 0));
  EXPECT_EQ(2, node->declare_parameter("b", 0));
  EXPECT_EQ(3, node->declare_parameter("c", 0));
  EXPECT_FALSE(node->get_parameter("use_sim_time").as_bool());
}

TEST_F(ContextTest, NodeNeedsAnInitializedContext)
{
  EXPECT_THROW(std::make_shared<rclcpp::Node>("early"), std::runtime_error);
}

TEST_F(ContextTest, SignalShutsDownFromTheHandlerThread)
{
  rclcpp::init(0, nullptr);
  EXPECT_TRUE(rclcpp::signal_handlers_installed());
  std::atomic<bool> pre_shutdown_saw_ok{false};
  std::thread::id callback_thread;
  auto context = rclcpp::contexts::get_global_default_context();
  auto handle = context->add_pre_shutdown_callback([&]() {
    pre_shutdown_saw_ok = rclcpp::ok();
    callback_thread = std::this_thread::get_id();
  });
  ASSERT_EQ(0, raise(SIGINT));
  ASSERT_TRUE(wait_until([]() { return !rclcpp::ok(); }));
  EXPECT_EQ("signal handler", context->shutdown_reason());
  EXPECT_TRUE(pre_shutdown_saw_ok.load());
  EXPECT_NE(std::this_thread::get_id(), callback_thread);
  context->remove_pre_shutdown_callback(handle);
  // The handlers stay until rclcpp::shutdown() uninstalls them.
  EXPECT_TRUE(rclcpp::signal_handlers_installed());
  rclcpp::shutdown();
  EXPECT_FALSE(rclcpp::signal_handlers_installed());
}

TEST_F(ContextTest, SeparateContextIsIndependent)
{
  rclcpp::init(0, nullptr);
  auto context = std::make_shared<rclcpp::Context>();
  EXPECT_FALSE(context->is_valid());
  context->init(0, nullptr);
  EXPECT_TRUE(rclcpp::ok(context));
  auto node = std::make_shared<rclcpp::Node>("in_other", rclcpp::NodeOptions().context(context));
  EXPECT_EQ(context, node->get_node_base_interface()->get_context());
  rclcpp::shutdown(context);
  EXPECT_FALSE(rclcpp::ok(context));
  EXPECT_TRUE(rclcpp::ok());
}

}  // namespace
