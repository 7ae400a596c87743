#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "test_helpers.hpp"
#include "tf2/exceptions.h"
#include "tf2_ros/buffer.h"

using tf2_ros_test::makeTransform;

// A waiting lookup ends when the context shuts down, long before its timeout. This shuts the
// process's context down, so it has a binary of its own.
TEST(BufferShutdown, WaitEndsWhenTheContextShutsDown)
{
  auto buffer = std::make_shared<tf2_ros::Buffer>(std::make_shared<rclcpp::Clock>());
  buffer->setUsingDedicatedThread(true);
  buffer->setTransform(makeTransform("map", "odom", 10.0, 0.0), "test");

  std::thread stopper([]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rclcpp::shutdown();
  });
  // Without the shutdown check this would wait for an hour (and hit the test timeout).
  std::string error;
  EXPECT_FALSE(buffer->canTransform(
      "map", "odom", tf2::timeFromSec(20.0), tf2::durationFromSec(3600.0), &error));
  stopper.join();
  EXPECT_FALSE(rclcpp::ok());
  EXPECT_THROW(
      buffer->lookupTransform("map", "odom", tf2::timeFromSec(20.0), tf2::durationFromSec(3600.0)),
      tf2::ExtrapolationException);
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  if (rclcpp::ok()) {
    rclcpp::shutdown();
  }
  return result;
}
