#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "test_fixtures.hpp"

using rclcpp_test::wait_until;
using test_msgs::msg::Counter;

namespace {

Counter make(int64_t value)
{
  Counter msg;
  msg.value = value;
  return msg;
}

class PubSubTest : public rclcpp_test::RclcppTest
{
protected:
  void SetUp() override
  {
    RclcppTest::SetUp();
    node = std::make_shared<rclcpp::Node>("pubsub", "/ns");
  }

  void TearDown() override
  {
    node.reset();
    RclcppTest::TearDown();
  }

  // Runs every callback that is ready on the node, on this thread.
  void spin_ready()
  {
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    executor.spin_some();
    executor.remove_node(node);
  }

  rclcpp::Node::SharedPtr node;
};

TEST_F(PubSubTest, NamesResolveInTheRemappedNamespace)
{
  auto remapped = std::make_shared<rclcpp::Node>(
      "global_semanticmap",
      "",
      rclcpp::NodeOptions().arguments(
          {"--ros-args",
           "-r",
           "__ns:=/global_semanticmap",
           "--ros-args",
           "-r",
           "global_semanticmap:__node:=global_semanticmap"}));
  EXPECT_STREQ("/global_semanticmap", remapped->get_namespace());
  EXPECT_STREQ("/global_semanticmap/global_semanticmap", remapped->get_fully_qualified_name());
  auto relative = remapped->create_publisher<Counter>("costmap", 1);
  auto private_name = remapped->create_publisher<Counter>("~/debug", 1);
  auto absolute = remapped->create_publisher<Counter>("/tf", 1);
  EXPECT_STREQ("/global_semanticmap/costmap", relative->get_topic_name());
  EXPECT_STREQ("/global_semanticmap/global_semanticmap/debug", private_name->get_topic_name());
  EXPECT_STREQ("/tf", absolute->get_topic_name());
}

TEST_F(PubSubTest, InvalidNamesThrow)
{
  EXPECT_THROW(node->create_publisher<Counter>("", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
      node->create_subscription<Counter>("bad name", 1, [](Counter::ConstSharedPtr) {}),
      rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
      node->create_publisher<Counter>("a//b", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
      node->create_publisher<Counter>("1abc", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
      std::make_shared<rclcpp::Node>("bad-name"), rclcpp::exceptions::InvalidNodeNameError);
  EXPECT_THROW(
      std::make_shared<rclcpp::Node>("ok", "/bad/"), rclcpp::exceptions::InvalidNamespaceError);
}

TEST_F(PubSubTest, DeliveryWaitsForTheSubscribersExecutor)
{
  std::vector<int64_t> received;
  auto sub = node->create_subscription<Counter>(
      "topic", 10, [&received](Counter::ConstSharedPtr msg) { received.push_back(msg->value); });
  auto pub = node->create_publisher<Counter>("topic", 10);
  pub->publish(make(1));
  pub->publish(std::make_unique<Counter>(make(2)));
  // Nothing runs on the publisher's thread.
  EXPECT_TRUE(received.empty());
  spin_ready();
  EXPECT_EQ((std::vector<int64_t>{1, 2}), received);
}

TEST_F(PubSubTest, KeepLastDropsTheOldestPerSubscription)
{
  std::vector<int64_t> shallow;
  std::vector<int64_t> deep;
  auto sub2 = node->create_subscription<Counter>(
      "topic", 2, [&shallow](const Counter & msg) { shallow.push_back(msg.value); });
  auto sub10 = node->create_subscription<Counter>(
      "topic", rclcpp::QoS(rclcpp::KeepLast(10)), [&deep](const Counter & msg) {
        deep.push_back(msg.value);
      });
  auto pub = node->create_publisher<Counter>("topic", 10);
  for (int64_t i = 0; i < 5; ++i) {
    pub->publish(make(i));
  }
  spin_ready();
  EXPECT_EQ((std::vector<int64_t>{3, 4}), shallow);
  EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 3, 4}), deep);
}

TEST_F(PubSubTest, TransientLocalLateJoinerGetsTheKeptMessages)
{
  auto latched = rclcpp::QoS(rclcpp::KeepLast(1)).transient_local().reliable();
  auto pub = node->create_publisher<Counter>("map", latched);
  pub->publish(make(1));
  pub->publish(make(2));

  std::vector<int64_t> late;
  auto late_sub = node->create_subscription<Counter>(
      "map", latched, [&late](Counter::ConstSharedPtr msg) { late.push_back(msg->value); });
  std::vector<int64_t> late_volatile;
  auto volatile_sub = node->create_subscription<Counter>(
      "map", rclcpp::QoS(10), [&late_volatile](Counter::ConstSharedPtr msg) {
        late_volatile.push_back(msg->value);
      });
  spin_ready();
  pub->publish(make(3));
  spin_ready();
  EXPECT_EQ((std::vector<int64_t>{2, 3}), late);
  EXPECT_EQ((std::vector<int64_t>{3}), late_volatile);
}

TEST_F(PubSubTest, IncompatibleQosDoesNotMatch)
{
  int reliable_count = 0;
  auto reliable_sub = node->create_subscription<Counter>(
      "qos", rclcpp::QoS(10).reliable(), [&](Counter::ConstSharedPtr) { ++reliable_count; });
  auto best_effort_pub = node->create_publisher<Counter>("qos", rclcpp::QoS(10).best_effort());
  EXPECT_EQ(0u, best_effort_pub->get_subscription_count());
  best_effort_pub->publish(make(1));

  int best_effort_count = 0;
  auto best_effort_sub = node->create_subscription<Counter>(
      "qos", rclcpp::SensorDataQoS(), [&](Counter::ConstSharedPtr) { ++best_effort_count; });
  auto reliable_pub = node->create_publisher<Counter>("qos", rclcpp::QoS(10).reliable());
  EXPECT_EQ(2u, reliable_pub->get_subscription_count());
  EXPECT_EQ(1u, best_effort_pub->get_subscription_count());

  int durable_count = 0;
  auto durable_sub = node->create_subscription<Counter>(
      "qos", rclcpp::QoS(10).transient_local(), [&](Counter::ConstSharedPtr) { ++durable_count; });
  EXPECT_EQ(2u, reliable_pub->get_subscription_count());
  reliable_pub->publish(make(2));
  spin_ready();
  EXPECT_EQ(1, reliable_count);
  // Joined after the best-effort message: only the reliable publisher's message arrives.
  EXPECT_EQ(1, best_effort_count);
  EXPECT_EQ(0, durable_count);
}

TEST_F(PubSubTest, SubscriptionCountFollowsSubscriptionsAndTypes)
{
  auto pub = node->create_publisher<Counter>("count", 1);
  EXPECT_EQ(0u, pub->get_subscription_count());
  auto sub1 = node->create_subscription<Counter>("count", 1, [](Counter::ConstSharedPtr) {});
  auto other_node = std::make_shared<rclcpp::Node>("other", "/ns");
  auto sub2 = other_node->create_subscription<Counter>("count", 1, [](Counter::ConstSharedPtr) {});
  auto other_type = node->create_subscription<builtin_interfaces::msg::Time>(
      "count", 1, [](builtin_interfaces::msg::Time::ConstSharedPtr) {});
  EXPECT_EQ(2u, pub->get_subscription_count());
  EXPECT_EQ(1u, sub1->get_publisher_count());
  sub1.reset();
  EXPECT_EQ(1u, pub->get_subscription_count());
  EXPECT_EQ(3u, node->count_subscribers("count") + 1u);
}

TEST_F(PubSubTest, DestroyingTheSubscriptionStopsDelivery)
{
  int count = 0;
  auto sub = node->create_subscription<Counter>("gone", 10, [&count](const Counter &) { ++count; });
  auto pub = node->create_publisher<Counter>("gone", 10);
  pub->publish(make(1));
  sub.reset();
  pub->publish(make(2));
  spin_ready();
  EXPECT_EQ(0, count);
}

TEST_F(PubSubTest, AcceptsEveryCallbackForm)
{
  std::vector<int64_t> seen(5, -1);
  auto s0 = node->create_subscription<Counter>(
      "forms", 10, [&](std::shared_ptr<const Counter> m) { seen[0] = m->value; });
  auto s1 = node->create_subscription<Counter>(
      "forms", 10, [&](const std::shared_ptr<const Counter> & m) { seen[1] = m->value; });
  auto s2 = node->create_subscription<Counter>("forms", 10, [&](std::shared_ptr<Counter> m) {
    m->value += 1;
    seen[2] = m->value;
  });
  auto s3 = node->create_subscription<Counter>(
      "forms", 10, [&](const Counter & m) { seen[3] = m.value; });
  auto s4 = node->create_subscription<Counter>(
      "forms", 10, [&](std::unique_ptr<Counter> m) { seen[4] = m->value; });
  auto pub = node->create_publisher<Counter>("forms", 10);
  pub->publish(make(7));
  spin_ready();
  // The mutable form works on its own copy: the others still see 7.
  EXPECT_EQ((std::vector<int64_t>{7, 7, 8, 7, 7}), seen);
}

TEST_F(PubSubTest, WaitForMessageGetsTheMessageWhileAnExecutorSpins)
{
  int executor_count = 0;
  auto sub = node->create_subscription<Counter>(
      "camera_info", 1, [&executor_count](Counter::ConstSharedPtr) { ++executor_count; });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));

  auto pub = node->create_publisher<Counter>("camera_info", 1);
  Counter out;
  std::atomic<bool> waiting{true};
  std::thread publisher([&]() {
    // Publish until the waiter has its message; the waiter is served first.
    while (waiting.load()) {
      pub->publish(make(42));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const bool got = rclcpp::wait_for_message(
      out, sub, node->get_node_base_interface()->get_context(), std::chrono::seconds(10));
  waiting.store(false);
  publisher.join();
  executor.cancel();
  spinner.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(42, out.value);
}

TEST_F(PubSubTest, WaitForMessageTimesOutAndStopsAtShutdown)
{
  auto sub = node->create_subscription<Counter>("silent", 1, [](Counter::ConstSharedPtr) {});
  Counter out;
  out.value = 5;
  EXPECT_FALSE(rclcpp::wait_for_message(
      out, sub, node->get_node_base_interface()->get_context(), std::chrono::milliseconds(20)));
  EXPECT_EQ(5, out.value);

  std::thread stopper([]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rclcpp::shutdown();
  });
  EXPECT_FALSE(rclcpp::wait_for_message(out, sub, node->get_node_base_interface()->get_context()));
  stopper.join();
}

TEST_F(PubSubTest, PublishingAfterShutdownIsDropped)
{
  int count = 0;
  auto sub = node->create_subscription<Counter>("late", 10, [&count](const Counter &) { ++count; });
  auto pub = node->create_publisher<Counter>("late", 10);
  rclcpp::shutdown();
  pub->publish(make(1));
  EXPECT_EQ(0u, sub->get_message_queue()->size());
}

TEST_F(PubSubTest, GroupOfAnotherNodeIsRejected)
{
  auto other = std::make_shared<rclcpp::Node>("other_owner");
  rclcpp::SubscriptionOptions options;
  options.callback_group = other->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
  try {
    node->create_subscription<Counter>(
        "topic", 1, [](Counter::ConstSharedPtr) {}, options);
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("Cannot create subscription, callback group not in node.", e.what());
  }
  EXPECT_THROW(
      node->create_wall_timer(
          std::chrono::seconds(1), []() {}, options.callback_group),
      std::runtime_error);
}

TEST_F(PubSubTest, TakeReadsTheQueueTheExecutorServes)
{
  int executor_count = 0;
  auto sub = node->create_subscription<Counter>(
      "taken", 2, [&executor_count](Counter::ConstSharedPtr) { ++executor_count; });
  auto pub = node->create_publisher<Counter>("taken", 10);
  for (int64_t i = 1; i <= 3; ++i) {
    pub->publish(make(i));
  }
  Counter out;
  rclcpp::MessageInfo info;
  ASSERT_TRUE(sub->take(out, info));
  EXPECT_EQ(2, out.value);
  spin_ready();
  EXPECT_EQ(1, executor_count);
  EXPECT_FALSE(sub->take(out, info));
  EXPECT_EQ(2, out.value);
}

}  // namespace
