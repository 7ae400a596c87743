#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "test_helpers.hpp"
#include "tf2/exceptions.h"
#include "tf2_ros/buffer.h"
#include "tf2_ros/qos.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"
#include "tf2_ros/transform_listener.h"

using tf2_ros_test::makeTransform;
using tf2_ros_test::waitFor;

class TransformListenerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    node = std::make_shared<rclcpp::Node>("broadcaster_node");
    buffer = std::make_shared<tf2_ros::Buffer>(node->get_clock());
  }

  rclcpp::Node::SharedPtr node;
  std::shared_ptr<tf2_ros::Buffer> buffer;
};

TEST_F(TransformListenerTest, OwnThreadMarksTheBufferAndReceivesStaticTransforms)
{
  // Published before the listener exists: the latched topic still delivers it.
  tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
  static_broadcaster.sendTransform(makeTransform("base_link", "laser", 0.0, 0.5));

  EXPECT_FALSE(buffer->isUsingDedicatedThread());
  tf2_ros::TransformListener listener(*buffer);
  EXPECT_TRUE(buffer->isUsingDedicatedThread());

  ASSERT_TRUE(
      waitFor([&]() { return buffer->canTransform("base_link", "laser", tf2::TimePointZero); }));
  // Static: valid at any time.
  EXPECT_DOUBLE_EQ(
      0.5,
      buffer->lookupTransform("base_link", "laser", tf2::timeFromSec(123.0))
          .transform.translation.x);
}

TEST_F(TransformListenerTest, StaticBroadcasterRepublishesTheWholeSet)
{
  tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
  static_broadcaster.sendTransform(makeTransform("base_link", "laser", 0.0, 0.5));
  static_broadcaster.sendTransform(makeTransform("base_link", "camera", 0.0, 0.2));
  static_broadcaster.sendTransform(makeTransform("base_link", "laser", 0.0, 0.7));

  // A late joiner gets both frames from the one latched message, the laser updated.
  tf2_ros::TransformListener listener(*buffer);
  ASSERT_TRUE(waitFor([&]() {
    return buffer->canTransform("base_link", "camera", tf2::TimePointZero) &&
           buffer->canTransform("base_link", "laser", tf2::TimePointZero);
  }));
  EXPECT_DOUBLE_EQ(
      0.7,
      buffer->lookupTransform("base_link", "laser", tf2::TimePointZero).transform.translation.x);
}

TEST_F(TransformListenerTest, DynamicTransformsFeedTheBufferOnTheListenerThread)
{
  tf2_ros::TransformListener listener(*buffer);
  tf2_ros::TransformBroadcaster broadcaster(node);

  std::mutex mutex;
  std::vector<std::thread::id> callback_threads;
  const auto handle = buffer->addTransformableRequest(
      [&](tf2::TransformableRequestHandle,
          const std::string &,
          const std::string &,
          tf2::TimePoint,
          tf2::TransformableResult) {
        std::lock_guard<std::mutex> lock(mutex);
        callback_threads.push_back(std::this_thread::get_id());
      },
      "odom",
      "base_link",
      tf2::timeFromSec(5.0));
  ASSERT_NE(0u, handle);

  broadcaster.sendTransform(
      {makeTransform("odom", "base_link", 5.0, 1.0), makeTransform("map", "odom", 5.0, 2.0)});

  ASSERT_TRUE(waitFor([&]() {
    std::lock_guard<std::mutex> lock(mutex);
    return !callback_threads.empty();
  }));
  {
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(1u, callback_threads.size());
    EXPECT_NE(std::this_thread::get_id(), callback_threads[0]);
  }
  ASSERT_TRUE(
      waitFor([&]() { return buffer->canTransform("map", "base_link", tf2::timeFromSec(5.0)); }));
  EXPECT_DOUBLE_EQ(
      3.0,
      buffer->lookupTransform("map", "base_link", tf2::timeFromSec(5.0)).transform.translation.x);
}

TEST_F(TransformListenerTest, WaitedLookupReturnsOncePublished)
{
  tf2_ros::TransformListener listener(*buffer);
  tf2_ros::TransformBroadcaster broadcaster(node);

  std::thread publisher([&]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    broadcaster.sendTransform(makeTransform("map", "robot", 7.0, 4.0));
  });
  geometry_msgs::msg::TransformStamped t;
  EXPECT_NO_THROW(
      t = buffer->lookupTransform(
          "map", "robot", tf2::timeFromSec(7.0), tf2::durationFromSec(10.0)));
  publisher.join();
  EXPECT_DOUBLE_EQ(4.0, t.transform.translation.x);
}

TEST_F(TransformListenerTest, NodeListenerWithoutThreadIsServedByTheNodesExecutor)
{
  auto listener_node = std::make_shared<rclcpp::Node>("listener_node");
  tf2_ros::TransformListener listener(*buffer, listener_node, false);
  EXPECT_FALSE(buffer->isUsingDedicatedThread());

  tf2_ros::TransformBroadcaster broadcaster(node);
  broadcaster.sendTransform(makeTransform("map", "odom", 3.0, 1.0));

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(listener_node);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!buffer->canTransform("map", "odom", tf2::timeFromSec(3.0)) &&
         std::chrono::steady_clock::now() < end) {
    executor.spin_some();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(buffer->canTransform("map", "odom", tf2::timeFromSec(3.0)));
}

TEST_F(TransformListenerTest, NodeListenerWithThreadSpinsItsOwnGroup)
{
  auto listener_node = std::make_shared<rclcpp::Node>("threaded_listener_node");
  tf2_ros::TransformListener listener(*buffer, listener_node, true);
  EXPECT_TRUE(buffer->isUsingDedicatedThread());

  tf2_ros::TransformBroadcaster broadcaster(node);
  broadcaster.sendTransform(makeTransform("map", "odom", 4.0, 1.0));
  // Nobody spins listener_node: the listener's own thread serves its subscriptions.
  EXPECT_TRUE(
      waitFor([&]() { return buffer->canTransform("map", "odom", tf2::timeFromSec(4.0)); }));
}

TEST(TransformListenerQoS, Profiles)
{
  EXPECT_EQ(100u, tf2_ros::DynamicListenerQoS().get_rmw_qos_profile().depth);
  EXPECT_EQ(100u, tf2_ros::DynamicBroadcasterQoS().get_rmw_qos_profile().depth);
  EXPECT_EQ(100u, tf2_ros::StaticListenerQoS().get_rmw_qos_profile().depth);
  EXPECT_EQ(1u, tf2_ros::StaticBroadcasterQoS().get_rmw_qos_profile().depth);
  EXPECT_EQ(
      RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
      tf2_ros::StaticListenerQoS().get_rmw_qos_profile().durability);
  EXPECT_EQ(
      RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
      tf2_ros::StaticBroadcasterQoS().get_rmw_qos_profile().durability);
  EXPECT_EQ(
      RMW_QOS_POLICY_DURABILITY_VOLATILE,
      tf2_ros::DynamicListenerQoS().get_rmw_qos_profile().durability);
}

TEST(TimeConversions, RoundTrips)
{
  builtin_interfaces::msg::Time stamp;
  stamp.sec = 12;
  stamp.nanosec = 345;
  const tf2::TimePoint t = tf2_ros::fromMsg(stamp);
  EXPECT_EQ(12000000345LL, t.time_since_epoch().count());
  EXPECT_EQ(stamp, tf2_ros::toMsg(t));
  EXPECT_EQ(12000000345LL, tf2_ros::toRclcpp(t).nanoseconds());
  EXPECT_EQ(t, tf2_ros::fromRclcpp(rclcpp::Time(12, 345, RCL_ROS_TIME)));
  EXPECT_EQ(tf2::durationFromSec(1.5), tf2_ros::fromRclcpp(rclcpp::Duration(1, 500000000)));
  EXPECT_EQ(1500000000LL, tf2_ros::toRclcpp(tf2::durationFromSec(1.5)).nanoseconds());
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
