#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "message_filters/message_traits.h"
#include "message_filters/simple_filter.h"
#include "message_filters/subscriber.h"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/header.hpp"

namespace {

// A message with a header, as the traits expect.
struct Stamped
{
  std_msgs::msg::Header header;
  int value = 0;
};

using Msg = std_msgs::msg::Header;

// Exposes signalMessage for the tests.
class TestFilter : public message_filters::SimpleFilter<Msg>
{
public:
  void emit(const MConstPtr & msg) { signalMessage(msg); }
};

}  // namespace

class SubscriberTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    node = std::make_shared<rclcpp::Node>("subscriber_test");
    publisher = node->create_publisher<Msg>("chatter", 10);
  }

  // Publishes a header with frame_id `tag` and spins until delivered or the deadline.
  void publishAndSpin(const std::string & tag, bool expect_delivery)
  {
    Msg msg;
    msg.frame_id = tag;
    publisher->publish(msg);
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    if (expect_delivery) {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!received(tag) && std::chrono::steady_clock::now() < end) {
        executor.spin_some();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    } else {
      executor.spin_some();
    }
  }

  bool received(const std::string & tag)
  {
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(frames.begin(), frames.end(), tag) != frames.end();
  }

  void record(const std::shared_ptr<const Msg> & msg)
  {
    std::lock_guard<std::mutex> lock(mutex);
    frames.push_back(msg->frame_id);
  }

  rclcpp::Node::SharedPtr node;
  rclcpp::Publisher<Msg>::SharedPtr publisher;
  std::mutex mutex;
  std::vector<std::string> frames;
};

TEST_F(SubscriberTest, EmptyTopicNeverSubscribes)
{
  message_filters::Subscriber<Msg> subscriber(node, "");
  EXPECT_EQ(nullptr, subscriber.getSubscriber());
  EXPECT_EQ("", subscriber.getTopic());
  subscriber.subscribe();
  EXPECT_EQ(nullptr, subscriber.getSubscriber());

  message_filters::Subscriber<Msg> later;
  later.subscribe(node.get(), "");
  later.subscribe();
  EXPECT_EQ(nullptr, later.getSubscriber());
  EXPECT_EQ(0u, publisher->get_subscription_count());
}

TEST_F(SubscriberTest, EmptyTopicForgetsNothingButUnsubscribes)
{
  message_filters::Subscriber<Msg> subscriber(node, "chatter");
  ASSERT_NE(nullptr, subscriber.getSubscriber());
  subscriber.subscribe(node.get(), "");
  EXPECT_EQ(nullptr, subscriber.getSubscriber());
  // The former topic is still remembered for a plain subscribe().
  EXPECT_EQ("chatter", subscriber.getTopic());
}

TEST_F(SubscriberTest, UnsubscribeAndSubscribeAgain)
{
  message_filters::Subscriber<Msg> subscriber(node, "chatter");
  subscriber.registerCallback([this](const std::shared_ptr<const Msg> & msg) { record(msg); });
  EXPECT_EQ("chatter", subscriber.getTopic());
  EXPECT_EQ(1u, publisher->get_subscription_count());

  publishAndSpin("first", true);
  EXPECT_TRUE(received("first"));

  subscriber.unsubscribe();
  EXPECT_EQ(nullptr, subscriber.getSubscriber());
  EXPECT_EQ(0u, publisher->get_subscription_count());
  publishAndSpin("while_unsubscribed", false);

  subscriber.subscribe();
  EXPECT_EQ(1u, publisher->get_subscription_count());
  publishAndSpin("second", true);
  EXPECT_TRUE(received("second"));
  EXPECT_FALSE(received("while_unsubscribed"));
}

TEST_F(SubscriberTest, QueuedMessagesAreNotDeliveredAfterUnsubscribe)
{
  message_filters::Subscriber<Msg> subscriber(node, "chatter");
  subscriber.registerCallback([this](const std::shared_ptr<const Msg> & msg) { record(msg); });
  Msg msg;
  msg.frame_id = "queued";
  publisher->publish(msg);
  subscriber.unsubscribe();

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  executor.spin_some();
  EXPECT_FALSE(received("queued"));
}

TEST(SimpleFilter, CallbacksRunInOrderUntilDisconnected)
{
  TestFilter filter;
  std::vector<int> order;
  auto c1 =
      filter.registerCallback([&order](const std::shared_ptr<const Msg> &) { order.push_back(1); });
  std::function<void(const std::shared_ptr<const Msg> &)> second =
      [&order](const std::shared_ptr<const Msg> &) { order.push_back(2); };
  auto c2 = filter.registerCallback(second);
  std::function<void(const message_filters::MessageEvent<const Msg> &)> by_event =
      [&order](const message_filters::MessageEvent<const Msg> & event) {
        order.push_back(event.getMessage()->frame_id == "x" ? 3 : -3);
      };
  filter.registerCallback(by_event);

  filter.emit(std::make_shared<Msg>(Msg()));
  auto msg = std::make_shared<Msg>();
  msg->frame_id = "x";
  c2.disconnect();
  filter.emit(msg);
  c1.disconnect();
  c1.disconnect();
  filter.emit(msg);
  EXPECT_EQ((std::vector<int>{1, 2, -3, 1, 3, 3}), order);
}

TEST(SimpleFilter, NonConstSubscribersGetTheirOwnCopy)
{
  TestFilter filter;
  std::vector<const Msg *> seen;
  std::function<void(const std::shared_ptr<Msg> &)> mutating =
      [&seen](const std::shared_ptr<Msg> & m) {
        seen.push_back(m.get());
        m->frame_id = "changed";
      };
  std::function<void(const std::shared_ptr<const Msg> &)> reading =
      [&seen](const std::shared_ptr<const Msg> & m) { seen.push_back(m.get()); };
  filter.registerCallback(mutating);
  filter.registerCallback(reading);
  auto msg = std::make_shared<Msg>();
  msg->frame_id = "original";
  filter.emit(msg);
  ASSERT_EQ(2u, seen.size());
  EXPECT_NE(msg.get(), seen[0]);
  EXPECT_EQ(msg.get(), seen[1]);
  EXPECT_EQ("original", msg->frame_id);
}

TEST(MessageTraits, HeaderFieldsAsRosTime)
{
  Stamped m;
  m.header.frame_id = "camera";
  m.header.stamp.sec = 5;
  m.header.stamp.nanosec = 250000000;
  namespace mt = message_filters::message_traits;
  EXPECT_TRUE(mt::HasHeader<Stamped>::value);
  EXPECT_FALSE(mt::HasHeader<int>::value);
  EXPECT_EQ("camera", mt::FrameId<Stamped>::value(m));
  const rclcpp::Time stamp = mt::TimeStamp<Stamped>::value(m);
  EXPECT_EQ(RCL_ROS_TIME, stamp.get_clock_type());
  EXPECT_EQ(5250000000LL, stamp.nanoseconds());
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
