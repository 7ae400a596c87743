// Entry point of the unit tests that need a ROS context: rclcpp stays initialised for the whole run.
#include <gtest/gtest.h>

#include "rclcpp/rclcpp.hpp"

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
