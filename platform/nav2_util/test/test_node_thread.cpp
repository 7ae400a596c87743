// NodeThread spins its executor on its own thread until destroyed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using namespace std::chrono_literals;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

template <typename Pred>
bool waitFor(Pred pred)
{
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

TEST(NodeThread, SpinsAPrivateGroupOnItsOwnThread)
{
  auto node = std::make_shared<rclcpp::Node>("node_thread_group");
  auto group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<int> ticks{0};
  std::atomic<bool> on_test_thread{false};
  const auto test_thread = std::this_thread::get_id();
  auto timer = node->create_wall_timer(
      5ms,
      [&]() {
        if (std::this_thread::get_id() == test_thread) {
          on_test_thread = true;
        }
        ++ticks;
      },
      group);

  auto executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  executor->add_callback_group(group, node->get_node_base_interface());
  {
    nav2_util::NodeThread thread(executor);
    EXPECT_TRUE(waitFor([&ticks]() { return ticks >= 3; }));
  }
  EXPECT_FALSE(on_test_thread);
  // Destroyed: the executor no longer runs.
  EXPECT_FALSE(executor->is_spinning());
}

TEST(NodeThread, SpinsAWholeNode)
{
  auto node = std::make_shared<rclcpp::Node>("node_thread_node");
  std::atomic<int> ticks{0};
  auto timer = node->create_wall_timer(5ms, [&ticks]() { ++ticks; });
  nav2_util::NodeThread thread(node);
  EXPECT_TRUE(waitFor([&ticks]() { return ticks >= 3; }));
}

TEST(NodeThread, DestroyedRightAfterCreationStillStops)
{
  // The destructor can run before the thread starts spinning; it must not hang.
  for (int i = 0; i < 50; ++i) {
    auto executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    {
      nav2_util::NodeThread thread(executor);
    }
    ASSERT_FALSE(executor->is_spinning()) << "iteration " << i;
  }
}

}  // namespace
