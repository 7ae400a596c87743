#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/rate.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/utilities.hpp"

namespace {

using namespace std::chrono_literals;

TEST(TimeTest, ClockTypesMustMatchToCompareOrSubtract)
{
  rclcpp::Time system(1, 0, RCL_SYSTEM_TIME);
  rclcpp::Time ros(1, 0, RCL_ROS_TIME);
  try {
    (void)(system == ros);
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("can't compare times with different time sources", e.what());
  }
  EXPECT_THROW((void)(system < ros), std::runtime_error);
  EXPECT_THROW((void)(system >= ros), std::runtime_error);
  EXPECT_THROW((void)(system != ros), std::runtime_error);
  try {
    (void)(system - ros);
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("can't subtract times with different time sources [2 != 1]", e.what());
  }
  // Adding a duration keeps the clock type.
  EXPECT_EQ(RCL_ROS_TIME, (ros + rclcpp::Duration(1, 0)).get_clock_type());
  EXPECT_EQ(rclcpp::Duration(1, 0), (system + rclcpp::Duration(1, 0)) - system);
}

TEST(TimeTest, ConstructionAndConversion)
{
  EXPECT_THROW(rclcpp::Time(-1, 0), std::runtime_error);
  builtin_interfaces::msg::Time negative;
  negative.sec = -1;
  EXPECT_THROW((rclcpp::Time(negative)), std::runtime_error);

  builtin_interfaces::msg::Time stamp;
  stamp.sec = 12;
  stamp.nanosec = 345;
  rclcpp::Time from_msg(stamp);
  EXPECT_EQ(RCL_ROS_TIME, from_msg.get_clock_type());
  EXPECT_EQ(12000000345, from_msg.nanoseconds());
  EXPECT_DOUBLE_EQ(12.000000345, from_msg.seconds());
  builtin_interfaces::msg::Time back = from_msg;
  EXPECT_EQ(stamp, back);

  rclcpp::Time before_epoch(-1500000000LL, RCL_SYSTEM_TIME);
  builtin_interfaces::msg::Time converted = before_epoch;
  EXPECT_EQ(-2, converted.sec);
  EXPECT_EQ(500000000u, converted.nanosec);

  // Copy assignment takes the clock type of the right-hand side, a message gives ROS time.
  rclcpp::Time t(0, 0, RCL_SYSTEM_TIME);
  t = rclcpp::Time(5, 0, RCL_STEADY_TIME);
  EXPECT_EQ(RCL_STEADY_TIME, t.get_clock_type());
  t = stamp;
  EXPECT_EQ(RCL_ROS_TIME, t.get_clock_type());
  EXPECT_EQ(from_msg, t);
}

TEST(TimeTest, OverflowThrows)
{
  rclcpp::Time max_time(std::numeric_limits<int64_t>::max(), RCL_SYSTEM_TIME);
  EXPECT_THROW(max_time + rclcpp::Duration(1, 0), std::overflow_error);
  rclcpp::Time min_time(std::numeric_limits<int64_t>::min(), RCL_SYSTEM_TIME);
  EXPECT_THROW(min_time - rclcpp::Duration(1, 0), std::underflow_error);
  EXPECT_THROW(max_time - min_time, std::overflow_error);
  EXPECT_EQ(
      static_cast<int64_t>(std::numeric_limits<int32_t>::max()) * 1000000000LL + 999999999LL,
      rclcpp::Time::max().nanoseconds());
}

TEST(DurationTest, Conversions)
{
  EXPECT_EQ(1500000000, rclcpp::Duration::from_seconds(1.5).nanoseconds());
  EXPECT_EQ(-250000000, rclcpp::Duration::from_seconds(-0.25).nanoseconds());
  EXPECT_EQ(7, rclcpp::Duration::from_nanoseconds(7).nanoseconds());
  EXPECT_EQ(rclcpp::Duration(2, 500000000), rclcpp::Duration(2500ms));
  EXPECT_EQ(2500ms, rclcpp::Duration(2, 500000000).to_chrono<std::chrono::milliseconds>());
  EXPECT_DOUBLE_EQ(2.5, rclcpp::Duration(2500ms).seconds());

  builtin_interfaces::msg::Duration msg = rclcpp::Duration::from_nanoseconds(-1500000000);
  EXPECT_EQ(-2, msg.sec);
  EXPECT_EQ(500000000u, msg.nanosec);
  EXPECT_EQ(-1500000000, rclcpp::Duration(msg).nanoseconds());

  // A frequency of zero gives an infinite period: it saturates instead of wrapping.
  EXPECT_EQ(
      std::numeric_limits<int64_t>::max(), rclcpp::Duration::from_seconds(1.0 / 0.0).nanoseconds());
  EXPECT_GT(rclcpp::Duration::from_seconds(1.0 / 0.0), rclcpp::Duration(0s));
  EXPECT_EQ(
      std::numeric_limits<int64_t>::min(),
      rclcpp::Duration::from_seconds(-1.0 / 0.0).nanoseconds());
  EXPECT_LT(rclcpp::Duration::from_seconds(-1.0), rclcpp::Duration(0s));
}

TEST(DurationTest, ArithmeticChecksBounds)
{
  EXPECT_EQ(rclcpp::Duration(3, 0), rclcpp::Duration(1, 0) + rclcpp::Duration(2, 0));
  EXPECT_EQ(rclcpp::Duration(-1, 0), rclcpp::Duration(1, 0) - rclcpp::Duration(2, 0));
  EXPECT_EQ(rclcpp::Duration(1, 0), rclcpp::Duration(2, 0) * 0.5);
  auto max = rclcpp::Duration::from_nanoseconds(std::numeric_limits<int64_t>::max());
  EXPECT_THROW(max + rclcpp::Duration(1, 0), std::overflow_error);
  EXPECT_THROW(max * 2.0, std::overflow_error);
  EXPECT_THROW(rclcpp::Duration(1, 0) * std::nan(""), std::runtime_error);
}

TEST(ClockTest, NowFollowsTheClockType)
{
  rclcpp::Clock ros_clock(RCL_ROS_TIME);
  rclcpp::Clock system_clock(RCL_SYSTEM_TIME);
  EXPECT_EQ(RCL_ROS_TIME, ros_clock.now().get_clock_type());
  EXPECT_FALSE(ros_clock.ros_time_is_active());
  // ROS time is system time while no simulated time is active.
  const auto system_now = system_clock.now().nanoseconds();
  const auto ros_now = ros_clock.now().nanoseconds();
  EXPECT_LT(std::llabs(ros_now - system_now), 5000000000LL);
  EXPECT_THROW((void)(ros_clock.now() - system_clock.now()), std::runtime_error);
}

TEST(ClockTest, RosTimeOverrideThroughTheClockHandle)
{
  rclcpp::Clock ros_clock(RCL_ROS_TIME);
  rcl_clock_t * handle = ros_clock.get_clock_handle();
  ASSERT_NE(nullptr, handle);
  // A value set before enabling takes effect only once the override is enabled.
  ASSERT_EQ(RCL_RET_OK, rcl_set_ros_time_override(handle, 42000000000LL));
  EXPECT_GT(ros_clock.now().nanoseconds(), 42000000000LL);
  ASSERT_EQ(RCL_RET_OK, rcl_enable_ros_time_override(handle));
  bool enabled = false;
  ASSERT_EQ(RCL_RET_OK, rcl_is_enabled_ros_time_override(handle, &enabled));
  EXPECT_TRUE(enabled);
  EXPECT_TRUE(ros_clock.ros_time_is_active());
  EXPECT_EQ(42000000000LL, ros_clock.now().nanoseconds());
  EXPECT_EQ(RCL_ROS_TIME, ros_clock.now().get_clock_type());
  // The override may go back in time.
  ASSERT_EQ(RCL_RET_OK, rcl_set_ros_time_override(handle, 1500000000LL));
  EXPECT_EQ(1500000000LL, ros_clock.now().nanoseconds());
  ASSERT_EQ(RCL_RET_OK, rcl_disable_ros_time_override(handle));
  EXPECT_FALSE(ros_clock.ros_time_is_active());
  EXPECT_GT(ros_clock.now().nanoseconds(), 42000000000LL);

  // Only a ROS time clock has an override.
  rclcpp::Clock system_clock(RCL_SYSTEM_TIME);
  rclcpp::Clock steady_clock(RCL_STEADY_TIME);
  for (rclcpp::Clock * other : {&system_clock, &steady_clock}) {
    EXPECT_EQ(RCL_RET_ERROR, rcl_enable_ros_time_override(other->get_clock_handle()));
    EXPECT_EQ(RCL_RET_ERROR, rcl_set_ros_time_override(other->get_clock_handle(), 1));
    EXPECT_FALSE(other->ros_time_is_active());
  }
  EXPECT_EQ(RCL_RET_INVALID_ARGUMENT, rcl_enable_ros_time_override(nullptr));
  EXPECT_EQ(RCL_RET_INVALID_ARGUMENT, rcl_is_enabled_ros_time_override(handle, nullptr));
}

class SleepTest : public ::testing::Test
{
protected:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

TEST_F(SleepTest, SleepForWaitsAndShutdownInterruptsIt)
{
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(rclcpp::sleep_for(20ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);

  std::thread stopper([]() {
    std::this_thread::sleep_for(20ms);
    rclcpp::shutdown();
  });
  // Interrupted long before the hour is over, and reports it.
  EXPECT_FALSE(rclcpp::sleep_for(std::chrono::hours(1)));
  stopper.join();
  EXPECT_FALSE(rclcpp::ok());
}

TEST_F(SleepTest, ClockSleepUntilChecksTypeAndStopsAtShutdown)
{
  rclcpp::Clock clock(RCL_ROS_TIME);
  EXPECT_THROW(clock.sleep_until(rclcpp::Time(0, 0, RCL_SYSTEM_TIME)), std::runtime_error);
  EXPECT_TRUE(clock.sleep_until(clock.now() + rclcpp::Duration(10ms)));
  std::thread stopper([]() {
    std::this_thread::sleep_for(20ms);
    rclcpp::shutdown();
  });
  EXPECT_FALSE(clock.sleep_for(rclcpp::Duration(3600s)));
  stopper.join();
}

TEST_F(SleepTest, WallRateKeepsThePeriodAndSkipsAfterAnOverrun)
{
  const auto start = std::chrono::steady_clock::now();
  rclcpp::WallRate rate(50.0);
  EXPECT_EQ(20ms, rate.period());
  EXPECT_TRUE(rate.is_steady());
  EXPECT_TRUE(rate.sleep());
  EXPECT_TRUE(rate.sleep());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);

  // A loop body that overruns a whole period: no sleep, and the schedule restarts.
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(rate.sleep());
  const auto after_restart = std::chrono::steady_clock::now();
  EXPECT_TRUE(rate.sleep());
  EXPECT_GE(std::chrono::steady_clock::now() - after_restart, 10ms);
}

TEST_F(SleepTest, RateSleepReturnsEarlyAtShutdown)
{
  rclcpp::Rate rate(std::chrono::nanoseconds(std::chrono::hours(1)));
  std::thread stopper([]() {
    std::this_thread::sleep_for(20ms);
    rclcpp::shutdown();
  });
  rate.sleep();
  stopper.join();
  EXPECT_FALSE(rclcpp::ok());
}

}  // namespace
