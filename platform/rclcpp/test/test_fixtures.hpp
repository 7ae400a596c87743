// Message and service types and helpers shared by the rclcpp stand-in tests.
#ifndef TEST_FIXTURES_HPP_
#define TEST_FIXTURES_HPP_

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace test_msgs {
namespace msg {

struct Counter
{
  ROSIDL_STANDIN_POINTER_ALIASES(Counter)
  int64_t value = 0;
};

}  // namespace msg

namespace srv {

struct AddTwo
{
  struct Request
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Request)
    int64_t a = 0;
    int64_t b = 0;
  };
  struct Response
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Response)
    int64_t sum = -1;
    bool touched = false;
  };
};

}  // namespace srv
}  // namespace test_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(test_msgs::msg::Counter, "test_msgs/msg/Counter")
ROSIDL_STANDIN_SERVICE_TRAITS(test_msgs::srv::AddTwo, "test_msgs/srv/AddTwo")

namespace rclcpp_test {

/// Polls pred until it holds or the (generous) deadline passes.
inline bool wait_until(
    const std::function<bool()> & pred,
    std::chrono::milliseconds deadline = std::chrono::milliseconds(10000))
{
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

/// Initialises the default context for each test and shuts it down afterwards.
class RclcppTest : public ::testing::Test
{
protected:
  void SetUp() override { rclcpp::init(0, nullptr); }

  void TearDown() override { rclcpp::shutdown(); }
};

}  // namespace rclcpp_test

#endif  // TEST_FIXTURES_HPP_
