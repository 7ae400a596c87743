#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "message_filters/subscriber.h"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "std_msgs/msg/header.hpp"

using Msg = std_msgs::msg::Header;

// The subscriber works on a lifecycle node too, in any lifecycle state.
TEST(LifecycleSubscriber, SubscribesOnALifecycleNode)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("lifecycle_subscriber_test");
  message_filters::Subscriber<Msg, rclcpp_lifecycle::LifecycleNode> subscriber;
  EXPECT_EQ(nullptr, subscriber.getSubscriber());
  subscriber.subscribe(node, "lifecycle_chatter", rmw_qos_profile_sensor_data);
  ASSERT_NE(nullptr, subscriber.getSubscriber());

  std::mutex mutex;
  std::vector<std::string> frames;
  subscriber.registerCallback([&](const std::shared_ptr<const Msg> & msg) {
    std::lock_guard<std::mutex> lock(mutex);
    frames.push_back(msg->frame_id);
  });

  auto publisher_node = std::make_shared<rclcpp::Node>("lifecycle_publisher");
  auto publisher =
      publisher_node->create_publisher<Msg>("lifecycle_chatter", rclcpp::SensorDataQoS());
  EXPECT_EQ(1u, publisher->get_subscription_count());
  Msg msg;
  msg.frame_id = "delivered";
  publisher->publish(msg);

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node->get_node_base_interface());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  auto delivered = [&]() {
    std::lock_guard<std::mutex> lock(mutex);
    return !frames.empty();
  };
  while (!delivered() && std::chrono::steady_clock::now() < end) {
    executor.spin_some();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(delivered());
  EXPECT_EQ("delivered", frames[0]);

  // Re-subscribing with the stored values works after an unsubscribe.
  subscriber.unsubscribe();
  EXPECT_EQ(0u, publisher->get_subscription_count());
  subscriber.subscribe();
  EXPECT_EQ(1u, publisher->get_subscription_count());
}

TEST(LifecycleSubscriber, EmptyTopicNeverSubscribes)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("lifecycle_empty_topic");
  message_filters::Subscriber<Msg, rclcpp_lifecycle::LifecycleNode> subscriber(node.get(), "");
  subscriber.subscribe();
  EXPECT_EQ(nullptr, subscriber.getSubscriber());
  EXPECT_EQ("", subscriber.getTopic());
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
