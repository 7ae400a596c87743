#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "test_helpers.hpp"
#include "tf2/exceptions.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/create_timer_interface.h"
#include "tf2_ros/create_timer_ros.h"

using tf2_ros_test::makeTransform;
using tf2_ros_test::waitFor;

class BufferTest : public ::testing::Test
{
protected:
  void SetUp() override { buffer = std::make_shared<tf2_ros::Buffer>(clock); }

  rclcpp::Clock::SharedPtr clock = std::make_shared<rclcpp::Clock>(RCL_SYSTEM_TIME);
  std::shared_ptr<tf2_ros::Buffer> buffer;
};

TEST_F(BufferTest, NullClockIsRejected)
{
  EXPECT_THROW(tf2_ros::Buffer(rclcpp::Clock::SharedPtr()), std::invalid_argument);
}

TEST_F(BufferTest, WithoutDedicatedThreadAWaitedCanTransformRefuses)
{
  ASSERT_FALSE(buffer->isUsingDedicatedThread());
  buffer->setTransform(makeTransform("map", "odom", 10.0, 1.0), "test");

  std::string error;
  // The data is there, yet a wait is refused.
  EXPECT_FALSE(buffer->canTransform(
      "map", "odom", tf2::timeFromSec(10.0), tf2::durationFromSec(1.0), &error));
  EXPECT_NE(
      std::string::npos, error.find("Do not call canTransform or lookupTransform with a timeout"))
      << error;
  // The non-waiting form is unaffected.
  EXPECT_TRUE(buffer->canTransform("map", "odom", tf2::timeFromSec(10.0)));
}

TEST_F(BufferTest, WithoutDedicatedThreadAWaitedLookupStillLooksUp)
{
  buffer->setTransform(makeTransform("map", "odom", 10.0, 1.0), "test");
  auto t =
      buffer->lookupTransform("map", "odom", tf2::timeFromSec(10.0), tf2::durationFromSec(1.0));
  EXPECT_DOUBLE_EQ(1.0, t.transform.translation.x);
  // Missing data fails with the lookup's own error type.
  EXPECT_THROW(
      buffer->lookupTransform("map", "nowhere", tf2::timeFromSec(10.0), tf2::durationFromSec(1.0)),
      tf2::LookupException);
  EXPECT_THROW(
      buffer->lookupTransform("map", "odom", tf2::timeFromSec(20.0), tf2::durationFromSec(1.0)),
      tf2::ExtrapolationException);
}

TEST_F(BufferTest, RclcppOverloadsConvertTimes)
{
  buffer->setTransform(makeTransform("map", "odom", 10.5, 2.0), "test");
  auto t = buffer->lookupTransform("map", "odom", rclcpp::Time(10, 500000000));
  EXPECT_DOUBLE_EQ(2.0, t.transform.translation.x);
  EXPECT_EQ(10, t.header.stamp.sec);
  EXPECT_EQ(500000000u, t.header.stamp.nanosec);
  // The rclcpp form always passes a timeout (default 0), so it needs the dedicated thread.
  EXPECT_FALSE(buffer->canTransform("map", "odom", rclcpp::Time(10, 500000000)));
  buffer->setUsingDedicatedThread(true);
  EXPECT_TRUE(buffer->canTransform("map", "odom", rclcpp::Time(10, 500000000)));
}

TEST_F(BufferTest, DedicatedThreadWaitsForData)
{
  buffer->setUsingDedicatedThread(true);
  buffer->setTransform(makeTransform("map", "odom", 10.0, 0.0), "test");

  std::thread feeder([this]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    buffer->setTransform(makeTransform("map", "odom", 12.0, 2.0), "feeder");
  });
  std::string error;
  const bool ok = buffer->canTransform(
      "map", "odom", tf2::timeFromSec(11.0), tf2::durationFromSec(10.0), &error);
  feeder.join();
  EXPECT_TRUE(ok) << error;
  EXPECT_NEAR(
      1.0,
      buffer->lookupTransform("map", "odom", tf2::timeFromSec(11.0), tf2::durationFromSec(1.0))
          .transform.translation.x,
      1e-9);
}

TEST_F(BufferTest, DedicatedThreadWaitTimesOutWithTheLookupErrorType)
{
  buffer->setUsingDedicatedThread(true);
  buffer->setTransform(makeTransform("map", "odom", 10.0, 0.0), "test");
  buffer->setTransform(makeTransform("world", "other", 10.0, 0.0), "test");

  const auto start = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_FALSE(buffer->canTransform(
      "map", "odom", tf2::timeFromSec(20.0), tf2::durationFromSec(0.2), &error));
  // The behaviour is a wait: it lasts at least the timeout.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_NE(std::string::npos, error.find("canTransform returned after")) << error;

  EXPECT_THROW(
      buffer->lookupTransform("map", "odom", tf2::timeFromSec(20.0), tf2::durationFromSec(0.05)),
      tf2::ExtrapolationException);
  EXPECT_THROW(
      buffer->lookupTransform("map", "other", tf2::TimePointZero, tf2::durationFromSec(0.05)),
      tf2::ConnectivityException);
  EXPECT_THROW(
      buffer->lookupTransform("map", "nowhere", tf2::TimePointZero, tf2::durationFromSec(0.05)),
      tf2::LookupException);
}

TEST_F(BufferTest, TransformOfAStampedPoseAtLatestTime)
{
  buffer->setUsingDedicatedThread(true);
  buffer->setTransform(makeTransform("map", "base_link", 10.0, 1.0, 2.0, M_PI / 2), "test");
  buffer->setTransform(makeTransform("map", "base_link", 11.0, 1.0, 2.0, M_PI / 2), "test");

  geometry_msgs::msg::PoseStamped in;
  in.header.frame_id = "base_link";  // stamp 0: the latest common time
  in.pose.position.x = 1.0;
  in.pose.orientation.w = 1.0;
  auto out = buffer->transform(in, "map", tf2::durationFromSec(0.5));
  EXPECT_EQ("map", out.header.frame_id);
  EXPECT_EQ(11, out.header.stamp.sec);
  EXPECT_NEAR(1.0, out.pose.position.x, 1e-9);
  EXPECT_NEAR(3.0, out.pose.position.y, 1e-9);
  EXPECT_THROW(buffer->transform(in, "nowhere", tf2::durationFromSec(0.05)), tf2::LookupException);
}

// waitForTransform with a node's timers, served by an executor on a thread the test owns.
class WaitForTransformTest : public BufferTest
{
protected:
  void SetUp() override
  {
    BufferTest::SetUp();
    node = std::make_shared<rclcpp::Node>("wait_for_transform_test");
    group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
    executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    executor->add_callback_group(group, node->get_node_base_interface());
    buffer->setCreateTimerInterface(std::make_shared<tf2_ros::CreateTimerROS>(
        node->get_node_base_interface(), node->get_node_timers_interface(), group));
    spinner = std::make_unique<tf2_ros_test::SpinThread>(executor);
    buffer->setTransform(makeTransform("map", "odom", 10.0, 0.0), "test");
  }

  void TearDown() override
  {
    spinner.reset();
    buffer.reset();
  }

  struct Result
  {
    std::mutex mutex;
    int calls = 0;
    std::thread::id thread;
    tf2_ros::TransformStampedFuture future;
  };

  tf2_ros::TransformReadyCallback recordInto(std::shared_ptr<Result> result)
  {
    return [result](const tf2_ros::TransformStampedFuture & future) {
      std::lock_guard<std::mutex> lock(result->mutex);
      ++result->calls;
      result->thread = std::this_thread::get_id();
      result->future = future;
    };
  }

  static int calls(const std::shared_ptr<Result> & result)
  {
    std::lock_guard<std::mutex> lock(result->mutex);
    return result->calls;
  }

  rclcpp::Node::SharedPtr node;
  rclcpp::CallbackGroup::SharedPtr group;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor;
  std::unique_ptr<tf2_ros_test::SpinThread> spinner;
};

TEST_F(BufferTest, WaitForTransformNeedsATimerInterface)
{
  EXPECT_THROW(
      buffer->waitForTransform(
          "map",
          "odom",
          tf2::timeFromSec(10.0),
          tf2::durationFromSec(1.0),
          [](const tf2_ros::TransformStampedFuture &) {}),
      tf2_ros::CreateTimerInterfaceException);
}

TEST_F(WaitForTransformTest, AvailableNowCallsBackBeforeReturning)
{
  auto result = std::make_shared<Result>();
  auto future = buffer->waitForTransform(
      "map", "odom", tf2::timeFromSec(10.0), tf2::durationFromSec(5.0), recordInto(result));
  EXPECT_EQ(1, calls(result));
  EXPECT_EQ(std::this_thread::get_id(), result->thread);
  EXPECT_EQ(0u, future.getHandle());
  EXPECT_EQ("map", future.get().header.frame_id);
}

TEST_F(WaitForTransformTest, NeverAvailableFailsBeforeReturning)
{
  buffer->setTransform(makeTransform("map", "odom", 30.0, 0.0), "test");
  auto result = std::make_shared<Result>();
  auto future = buffer->waitForTransform(
      "map", "odom", tf2::timeFromSec(15.0), tf2::durationFromSec(5.0), recordInto(result));
  EXPECT_EQ(1, calls(result));
  EXPECT_EQ(0xFFFFFFFFFFFFFFFFULL, future.getHandle());
  EXPECT_THROW(future.get(), tf2::LookupException);
}

TEST_F(WaitForTransformTest, LateDataCallsBackOnTheFeedingThread)
{
  auto result = std::make_shared<Result>();
  auto future = buffer->waitForTransform(
      "map", "odom", tf2::timeFromSec(11.0), tf2::durationFromSec(30.0), recordInto(result));
  EXPECT_EQ(0, calls(result));

  std::thread::id feeder_id;
  std::thread feeder([&]() {
    feeder_id = std::this_thread::get_id();
    buffer->setTransform(makeTransform("map", "odom", 12.0, 4.0), "feeder");
  });
  feeder.join();

  ASSERT_EQ(1, calls(result));
  EXPECT_EQ(feeder_id, result->thread);
  EXPECT_NEAR(2.0, future.get().transform.translation.x, 1e-9);
}

TEST_F(WaitForTransformTest, TimeoutCallsBackOnTheTimerExecutorThread)
{
  auto result = std::make_shared<Result>();
  auto future = buffer->waitForTransform(
      "map", "odom", tf2::timeFromSec(11.0), tf2::durationFromSec(0.2), recordInto(result));
  ASSERT_TRUE(waitFor([&]() { return calls(result) == 1; }));
  EXPECT_EQ(spinner->id(), result->thread);
  try {
    future.get();
    FAIL() << "expected a timeout";
  } catch (const tf2::TimeoutException & e) {
    EXPECT_STREQ("Timed out waiting for transform", e.what());
  }
  // The request is gone: data arriving later does not call back again.
  buffer->setTransform(makeTransform("map", "odom", 12.0, 4.0), "test");
  EXPECT_EQ(1, calls(result));
}

TEST_F(WaitForTransformTest, CancelledWaitIsNotCalledBack)
{
  auto result = std::make_shared<Result>();
  auto future = buffer->waitForTransform(
      "map", "odom", tf2::timeFromSec(11.0), tf2::durationFromSec(30.0), recordInto(result));
  buffer->cancel(future);
  buffer->setTransform(makeTransform("map", "odom", 12.0, 4.0), "test");
  EXPECT_EQ(0, calls(result));
}

TEST_F(WaitForTransformTest, CreateTimerRosRejectsUnknownHandles)
{
  tf2_ros::CreateTimerROS timers(
      node->get_node_base_interface(), node->get_node_timers_interface(), group);
  EXPECT_THROW(timers.cancel(1234), tf2_ros::InvalidTimerHandleException);
  EXPECT_THROW(timers.reset(1234), tf2_ros::InvalidTimerHandleException);
  EXPECT_THROW(timers.remove(1234), tf2_ros::InvalidTimerHandleException);
  auto handle = timers.createTimer(
      node->get_clock(), tf2::durationFromSec(100.0), [](const tf2_ros::TimerHandle &) {});
  EXPECT_NO_THROW(timers.cancel(handle));
  EXPECT_NO_THROW(timers.remove(handle));
  EXPECT_THROW(timers.remove(handle), tf2_ros::InvalidTimerHandleException);
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
