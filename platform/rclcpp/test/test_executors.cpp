#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "test_fixtures.hpp"

using rclcpp_test::wait_until;
using test_msgs::msg::Counter;

namespace {

// Tracks how many callbacks run at once and which threads ran them.
struct ConcurrencyProbe
{
  std::atomic<int> running{0};
  std::atomic<int> max_running{0};
  std::atomic<int> finished{0};
  std::mutex mutex;
  std::set<std::thread::id> threads;

  void enter()
  {
    const int now = ++running;
    int seen = max_running.load();
    while (now > seen && !max_running.compare_exchange_weak(seen, now)) {
    }
    std::lock_guard<std::mutex> lock(mutex);
    threads.insert(std::this_thread::get_id());
  }

  void leave()
  {
    --running;
    ++finished;
  }
};

class ExecutorTest : public rclcpp_test::RclcppTest
{
protected:
  void SetUp() override
  {
    RclcppTest::SetUp();
    node = std::make_shared<rclcpp::Node>("executor_test");
    pub = node->create_publisher<Counter>("work", 100);
  }

  void TearDown() override
  {
    pub.reset();
    node.reset();
    RclcppTest::TearDown();
  }

  void publish_n(int n)
  {
    for (int i = 0; i < n; ++i) {
      Counter msg;
      msg.value = i;
      pub->publish(msg);
    }
  }

  rclcpp::Node::SharedPtr node;
  rclcpp::Publisher<Counter>::SharedPtr pub;
};

TEST_F(ExecutorTest, DefaultGroupIsMutuallyExclusiveOnTwoThreads)
{
  ConcurrencyProbe probe;
  auto callback = [&probe](Counter::ConstSharedPtr) {
    probe.enter();
    // Give a second thread every chance to enter the group at the same time.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    probe.leave();
  };
  auto sub_a = node->create_subscription<Counter>("work", 100, callback);
  auto sub_b = node->create_subscription<Counter>("work", 100, callback);
  EXPECT_EQ(
      rclcpp::CallbackGroupType::MutuallyExclusive,
      node->get_node_base_interface()->get_default_callback_group()->type());

  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2, true);
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  publish_n(10);
  ASSERT_TRUE(wait_until([&probe]() { return probe.finished.load() == 20; }));
  executor.cancel();
  spinner.join();
  EXPECT_EQ(1, probe.max_running.load());
}

TEST_F(ExecutorTest, ReentrantGroupRunsCallbacksConcurrently)
{
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
  ConcurrencyProbe probe;
  std::atomic<bool> both_inside{false};
  auto callback = [&](Counter::ConstSharedPtr) {
    probe.enter();
    // Each callback waits for the other one: this only completes if two threads run the
    // group's callbacks at the same time.
    both_inside.store(wait_until([&probe]() { return probe.max_running.load() == 2; }));
    probe.leave();
  };
  rclcpp::SubscriptionOptions options;
  options.callback_group = group;
  auto sub = node->create_subscription<Counter>("work", 100, callback, options);

  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
  EXPECT_EQ(2u, executor.get_number_of_threads());
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  publish_n(2);
  ASSERT_TRUE(wait_until([&probe]() { return probe.finished.load() == 2; }));
  executor.cancel();
  spinner.join();
  EXPECT_TRUE(both_inside.load());
  EXPECT_EQ(2, probe.max_running.load());
  EXPECT_EQ(2u, probe.threads.size());
}

TEST_F(ExecutorTest, GroupsAndEntitiesCreatedWhileSpinningArePickedUp)
{
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2, true);
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));

  std::atomic<int> in_default{0};
  std::atomic<int> in_new_group{0};
  auto sub = node->create_subscription<Counter>(
      "work", 10, [&in_default](Counter::ConstSharedPtr) { ++in_default; });
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
  rclcpp::SubscriptionOptions options;
  options.callback_group = group;
  auto late_sub = node->create_subscription<Counter>(
      "work", 10, [&in_new_group](Counter::ConstSharedPtr) { ++in_new_group; }, options);
  std::atomic<int> timer_calls{0};
  auto timer = node->create_wall_timer(
      std::chrono::milliseconds(1), [&timer_calls]() { ++timer_calls; }, group);

  publish_n(3);
  EXPECT_TRUE(wait_until([&]() { return in_default.load() == 3 && in_new_group.load() == 3; }));
  EXPECT_TRUE(wait_until([&]() { return timer_calls.load() >= 3; }));
  executor.cancel();
  spinner.join();
}

TEST_F(ExecutorTest, GroupNotAddedWithTheNodeIsServedOnlyByItsOwnExecutor)
{
  auto private_group =
      node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<int> private_calls{0};
  std::thread::id private_thread;
  rclcpp::SubscriptionOptions options;
  options.callback_group = private_group;
  auto sub = node->create_subscription<Counter>(
      "work",
      10,
      [&](Counter::ConstSharedPtr) {
        private_thread = std::this_thread::get_id();
        ++private_calls;
      },
      options);

  rclcpp::executors::SingleThreadedExecutor node_executor;
  node_executor.add_node(node);
  // The node's executor has the default group only.
  for (const auto & weak_group : node_executor.get_all_callback_groups()) {
    EXPECT_NE(private_group, weak_group.lock());
  }
  publish_n(1);
  node_executor.spin_some();
  EXPECT_EQ(0, private_calls.load());

  rclcpp::executors::SingleThreadedExecutor private_executor;
  private_executor.add_callback_group(private_group, node->get_node_base_interface());
  std::thread private_spinner([&private_executor]() { private_executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&private_executor]() { return private_executor.is_spinning(); }));
  EXPECT_TRUE(wait_until([&]() { return private_calls.load() == 1; }));
  private_executor.cancel();
  const auto spinner_id = private_spinner.get_id();
  private_spinner.join();
  EXPECT_EQ(spinner_id, private_thread);
}

TEST_F(ExecutorTest, NodeOrGroupCannotJoinASecondExecutor)
{
  rclcpp::executors::SingleThreadedExecutor first;
  rclcpp::executors::SingleThreadedExecutor second;
  first.add_node(node);
  try {
    second.add_node(node);
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("Node '/executor_test' has already been added to an executor.", e.what());
  }
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::Reentrant, false);
  first.add_callback_group(group, node->get_node_base_interface());
  try {
    second.add_callback_group(group, node->get_node_base_interface());
    FAIL() << "expected std::runtime_error";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("Callback group has already been added to an executor.", e.what());
  }
  // Removing releases the node for another executor.
  first.remove_node(node);
  EXPECT_NO_THROW(second.add_node(node));
}

TEST_F(ExecutorTest, DestroyedExecutorReleasesItsNode)
{
  {
    rclcpp::executors::SingleThreadedExecutor first;
    first.add_node(node);
  }
  rclcpp::executors::SingleThreadedExecutor second;
  EXPECT_NO_THROW(second.add_node(node));
}

TEST_F(ExecutorTest, CallbacksRunOnExecutorThreads)
{
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::atomic<int> calls{0};
  auto sub = node->create_subscription<Counter>("work", 100, [&](Counter::ConstSharedPtr) {
    std::lock_guard<std::mutex> lock(mutex);
    threads.insert(std::this_thread::get_id());
    ++calls;
  });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  const auto spinner_id = spinner.get_id();
  publish_n(5);
  EXPECT_TRUE(wait_until([&calls]() { return calls.load() == 5; }));
  executor.cancel();
  spinner.join();
  ASSERT_EQ(1u, threads.size());
  EXPECT_EQ(spinner_id, *threads.begin());
}

TEST_F(ExecutorTest, SpinEndsAtShutdown)
{
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 3);
  executor.add_node(node);
  auto done = std::async(std::launch::async, [&executor]() { executor.spin(); });
  EXPECT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  rclcpp::shutdown();
  EXPECT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(10)));
}

TEST_F(ExecutorTest, CancelEndsSpinAndSpinningTwiceThrows)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  auto done = std::async(std::launch::async, [&executor]() { executor.spin(); });
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  EXPECT_THROW(executor.spin_some(), std::runtime_error);
  executor.cancel();
  EXPECT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(10)));
}

TEST_F(ExecutorTest, TimerFiresRepeatedlyUntilCanceled)
{
  std::atomic<int> calls{0};
  rclcpp::TimerBase::SharedPtr timer;
  timer = node->create_wall_timer(std::chrono::milliseconds(1), [&calls, &timer]() {
    if (++calls == 3) {
      timer->cancel();
    }
  });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  EXPECT_TRUE(wait_until([&timer]() { return timer->is_canceled(); }));
  executor.cancel();
  spinner.join();
  EXPECT_EQ(3, calls.load());
  timer->reset();
  EXPECT_FALSE(timer->is_canceled());
}

TEST_F(ExecutorTest, TimerWithTheLongestPeriodNeverFires)
{
  // A "wait forever" timeout becomes a timer of Duration::max(); its first call lies beyond the
  // end of time and must not wrap around into the past.
  std::atomic<int> calls{0};
  auto timer = node->create_wall_timer(
    std::chrono::nanoseconds::max(), [&calls]() {++calls;});
  EXPECT_FALSE(timer->is_ready());
  EXPECT_GT(timer->time_until_trigger(), std::chrono::hours(24 * 365));
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  executor.spin_some();
  EXPECT_EQ(0, calls.load());
}

TEST_F(ExecutorTest, RosClockTimerFromCreateTimerFiresInItsGroup)
{
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<int> calls{0};
  std::thread::id timer_thread;
  auto timer = rclcpp::create_timer(
      node,
      node->get_clock(),
      rclcpp::Duration::from_seconds(0.001),
      [&]() {
        timer_thread = std::this_thread::get_id();
        ++calls;
      },
      group);
  EXPECT_FALSE(timer->is_steady());
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_callback_group(group, node->get_node_base_interface());
  std::thread spinner([&executor]() { executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  const auto spinner_id = spinner.get_id();
  EXPECT_TRUE(wait_until([&calls]() { return calls.load() >= 1; }));
  executor.cancel();
  spinner.join();
  EXPECT_EQ(spinner_id, timer_thread);
}

TEST_F(ExecutorTest, SpinUntilFutureCompleteReportsEachOutcome)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);
  std::promise<int> never;
  auto never_future = never.get_future();
  EXPECT_EQ(
      rclcpp::FutureReturnCode::TIMEOUT,
      executor.spin_until_future_complete(never_future, std::chrono::milliseconds(20)));

  std::promise<int> from_timer;
  auto future = from_timer.get_future();
  rclcpp::TimerBase::SharedPtr timer;
  timer = node->create_wall_timer(std::chrono::milliseconds(1), [&from_timer, &timer]() {
    timer->cancel();
    from_timer.set_value(5);
  });
  EXPECT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      executor.spin_until_future_complete(future, std::chrono::seconds(10)));
  EXPECT_EQ(5, future.get());

  rclcpp::shutdown();
  std::promise<int> after_shutdown;
  auto shutdown_future = after_shutdown.get_future();
  EXPECT_EQ(
      rclcpp::FutureReturnCode::INTERRUPTED, executor.spin_until_future_complete(shutdown_future));
}

TEST_F(ExecutorTest, SubscriptionsComeAndGoWhileSpinning)
{
  rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2);
  executor.add_node(node);
  std::thread spinner([&executor]() { executor.spin(); });
  ASSERT_TRUE(wait_until([&executor]() { return executor.is_spinning(); }));
  auto counter = std::make_shared<std::atomic<int>>(0);
  for (int round = 0; round < 20; ++round) {
    auto group = node->create_callback_group(rclcpp::CallbackGroupType::Reentrant);
    rclcpp::SubscriptionOptions options;
    options.callback_group = group;
    auto received = std::make_shared<std::atomic<bool>>(false);
    auto sub = node->create_subscription<Counter>(
        "churn",
        10,
        [received, counter](Counter::ConstSharedPtr) {
          received->store(true);
          ++*counter;
        },
        options);
    auto churn_pub = node->create_publisher<Counter>("churn", 10);
    // Publish until the new subscription has been served once.
    ASSERT_TRUE(wait_until([&]() {
      churn_pub->publish(Counter());
      return received->load();
    }));
    sub.reset();
  }
  executor.cancel();
  spinner.join();
  EXPECT_GE(counter->load(), 20);
}

}  // namespace
