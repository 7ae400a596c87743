#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "message_filters/subscriber.h"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "test_helpers.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/create_timer_ros.h"
#include "tf2_ros/message_filter.h"
#include "tf2_ros/transform_broadcaster.h"
#include "tf2_ros/transform_listener.h"

using tf2_ros_test::makeTransform;
using tf2_ros_test::waitFor;

namespace {

// Log lines of the process, with the thread that wrote them.
struct LogLine
{
  std::string text;
  std::thread::id thread;
};

std::mutex g_log_mutex;
std::vector<LogLine> g_log;

void captureOutput(
    const rcutils_log_location_t *,
    int,
    const char *,
    rcutils_time_point_value_t,
    const char * format,
    va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char buffer[1024];
  std::vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_log.push_back({buffer, std::this_thread::get_id()});
}

std::vector<LogLine> logLinesContaining(const std::string & needle)
{
  std::lock_guard<std::mutex> lock(g_log_mutex);
  std::vector<LogLine> out;
  for (const auto & line : g_log) {
    if (line.text.find(needle) != std::string::npos) {
      out.push_back(line);
    }
  }
  return out;
}

const char kOutTheBack[] =
    "for reason 'the timestamp on the message is earlier than all the data in the transform cache'";
const char kEmptyFrame[] = "for reason 'the frame id of the message is empty'";
const char kQueueFull[] = "for reason 'discarding message because the queue is full'";

geometry_msgs::msg::PoseStamped::SharedPtr makePose(const std::string & frame, int sec)
{
  auto pose = std::make_shared<geometry_msgs::msg::PoseStamped>();
  pose->header.frame_id = frame;
  pose->header.stamp.sec = sec;
  pose->pose.orientation.w = 1.0;
  return pose;
}

}  // namespace

// The arrangement of a costmap node: a listener with its own thread feeds the buffer, and the
// buffer's timers run on a private executor serving a callback group of the node.
class MessageFilterTest : public ::testing::Test
{
protected:
  using Filter = tf2_ros::MessageFilter<geometry_msgs::msg::PoseStamped>;

  void SetUp() override
  {
    {
      std::lock_guard<std::mutex> lock(g_log_mutex);
      g_log.clear();
    }
    node = std::make_shared<rclcpp::Node>("filter_node");
    publisher_node = std::make_shared<rclcpp::Node>("tf_publisher_node");
    buffer = std::make_shared<tf2_ros::Buffer>(node->get_clock());
    timer_group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
    buffer->setCreateTimerInterface(std::make_shared<tf2_ros::CreateTimerROS>(
        node->get_node_base_interface(), node->get_node_timers_interface(), timer_group));
    timer_executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    timer_executor->add_callback_group(timer_group, node->get_node_base_interface());
    timer_thread = std::make_unique<tf2_ros_test::SpinThread>(timer_executor);
    listener = std::make_unique<tf2_ros::TransformListener>(*buffer);
    broadcaster = std::make_unique<tf2_ros::TransformBroadcaster>(publisher_node);

    buffer->setTransform(makeTransform("map", "base_link", 10.0, 1.0), "test");
  }

  void TearDown() override
  {
    // Threads that call into the filter stop first.
    timer_thread.reset();
    listener.reset();
    filter.reset();
    broadcaster.reset();
    buffer.reset();
  }

  void makeFilter(uint32_t queue_size, std::chrono::milliseconds timeout)
  {
    filter = std::make_unique<Filter>(
        *buffer,
        "map",
        queue_size,
        node->get_node_logging_interface(),
        node->get_node_clock_interface(),
        timeout);
    recordReleases();
  }

  void recordReleases()
  {
    filter->registerCallback([this](const Filter::MConstPtr & msg) {
      std::lock_guard<std::mutex> lock(mutex);
      released_stamps.push_back(msg->header.stamp.sec);
      release_threads.push_back(std::this_thread::get_id());
    });
  }

  size_t releasedCount()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return released_stamps.size();
  }

  // Thread id of the next setTransform that makes map <- base_link available at `sec`.
  std::shared_ptr<std::thread::id> probeFeederThread(int sec)
  {
    auto id = std::make_shared<std::thread::id>();
    auto probe_mutex = probe_mutex_;
    buffer->addTransformableRequest(
        [id, probe_mutex](
            tf2::TransformableRequestHandle,
            const std::string &,
            const std::string &,
            tf2::TimePoint,
            tf2::TransformableResult) {
          std::lock_guard<std::mutex> lock(*probe_mutex);
          *id = std::this_thread::get_id();
        },
        "map",
        "base_link",
        tf2::timeFromSec(sec));
    return id;
  }

  std::thread::id probed(const std::shared_ptr<std::thread::id> & id)
  {
    std::lock_guard<std::mutex> lock(*probe_mutex_);
    return *id;
  }

  rclcpp::Node::SharedPtr node;
  rclcpp::Node::SharedPtr publisher_node;
  std::shared_ptr<tf2_ros::Buffer> buffer;
  rclcpp::CallbackGroup::SharedPtr timer_group;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr timer_executor;
  std::unique_ptr<tf2_ros_test::SpinThread> timer_thread;
  std::unique_ptr<tf2_ros::TransformListener> listener;
  std::unique_ptr<tf2_ros::TransformBroadcaster> broadcaster;
  std::unique_ptr<Filter> filter;

  std::mutex mutex;
  std::vector<int> released_stamps;
  std::vector<std::thread::id> release_threads;
  std::shared_ptr<std::mutex> probe_mutex_ = std::make_shared<std::mutex>();
};

TEST_F(MessageFilterTest, AvailableTransformReleasesOnTheAddingThread)
{
  makeFilter(5, std::chrono::milliseconds(200));
  filter->add(makePose("base_link", 10));
  ASSERT_EQ(1u, releasedCount());
  EXPECT_EQ(std::this_thread::get_id(), release_threads[0]);
  // A leading slash on the message frame is ignored.
  filter->add(makePose("/base_link", 10));
  EXPECT_EQ(2u, releasedCount());
}

TEST_F(MessageFilterTest, SubscriberInputReleasesOnItsExecutorThread)
{
  message_filters::Subscriber<geometry_msgs::msg::PoseStamped> subscriber(node, "poses");
  // The constructor taking the input filter and the node.
  filter =
      std::make_unique<Filter>(subscriber, *buffer, "map", 5, node, std::chrono::milliseconds(200));
  recordReleases();

  auto sub_executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  sub_executor->add_node(node);
  auto spinner = std::make_unique<tf2_ros_test::SpinThread>(sub_executor);

  auto publisher = publisher_node->create_publisher<geometry_msgs::msg::PoseStamped>("poses", 10);
  ASSERT_TRUE(waitFor([&]() { return publisher->get_subscription_count() > 0; }));
  publisher->publish(*makePose("base_link", 10));

  ASSERT_TRUE(waitFor([&]() { return releasedCount() == 1; }));
  EXPECT_EQ(spinner->id(), release_threads[0]);
  spinner.reset();
  // The filter goes before its input, which it disconnects from.
  filter.reset();
}

TEST_F(MessageFilterTest, LateTransformReleasesOnTheListenerThread)
{
  makeFilter(5, std::chrono::seconds(30));
  filter->add(makePose("base_link", 20));
  EXPECT_EQ(0u, releasedCount());

  auto feeder = probeFeederThread(20);
  broadcaster->sendTransform(makeTransform("map", "base_link", 20.0, 2.0));

  // The probe is a transformable request of its own, called in the same delivery as the filter's
  // but possibly after it.
  ASSERT_TRUE(waitFor(
      [&]() { return releasedCount() == 1 && probed(feeder) != std::thread::id(); }));
  EXPECT_EQ(20, released_stamps[0]);
  EXPECT_EQ(probed(feeder), release_threads[0]);
  EXPECT_NE(std::this_thread::get_id(), release_threads[0]);
  EXPECT_NE(timer_thread->id(), release_threads[0]);
}

TEST_F(MessageFilterTest, TimeoutDropsOnTheTimerThread)
{
  makeFilter(5, std::chrono::milliseconds(200));
  filter->add(makePose("base_link", 30));

  ASSERT_TRUE(waitFor([&]() { return !logLinesContaining(kOutTheBack).empty(); }));
  const auto drops = logLinesContaining(kOutTheBack);
  ASSERT_EQ(1u, drops.size());
  EXPECT_NE(std::string::npos, drops[0].text.find("frame 'base_link' at time 30.000"))
      << drops[0].text;
  EXPECT_EQ(timer_thread->id(), drops[0].thread);

  // Dropped for good: the transform arriving now does not release it.
  buffer->setTransform(makeTransform("map", "base_link", 30.0, 3.0), "test");
  EXPECT_EQ(0u, releasedCount());
}

TEST_F(MessageFilterTest, FullQueueDropsTheOldest)
{
  makeFilter(5, std::chrono::seconds(30));
  buffer->setTransform(makeTransform("map", "base_link", 39.0, 4.0), "test");
  for (int sec = 40; sec <= 45; ++sec) {
    filter->add(makePose("base_link", sec));
  }
  const auto drops = logLinesContaining(kQueueFull);
  ASSERT_EQ(1u, drops.size());
  EXPECT_NE(std::string::npos, drops[0].text.find("at time 40.000")) << drops[0].text;
  EXPECT_EQ(std::this_thread::get_id(), drops[0].thread);

  buffer->setTransform(makeTransform("map", "base_link", 46.0, 4.0), "test");
  ASSERT_EQ(5u, releasedCount());
  std::vector<int> stamps = released_stamps;
  std::sort(stamps.begin(), stamps.end());
  EXPECT_EQ((std::vector<int>{41, 42, 43, 44, 45}), stamps);
}

TEST_F(MessageFilterTest, EmptyFrameIdIsDroppedAtOnce)
{
  makeFilter(5, std::chrono::seconds(30));
  filter->add(makePose("", 10));
  EXPECT_EQ(0u, releasedCount());
  const auto drops = logLinesContaining(kEmptyFrame);
  ASSERT_EQ(1u, drops.size());
  EXPECT_NE(std::string::npos, drops[0].text.find("frame '' at time 10.000")) << drops[0].text;
  EXPECT_EQ(std::this_thread::get_id(), drops[0].thread);
}

TEST_F(MessageFilterTest, EveryTargetFrameIsNeeded)
{
  makeFilter(5, std::chrono::seconds(30));
  filter->setTargetFrames({"/map", "odom"});
  EXPECT_EQ("map odom ", filter->getTargetFramesString());

  buffer->setTransform(makeTransform("odom", "laser", 50.0, 0.5), "test");
  buffer->setTransform(makeTransform("odom", "laser", 51.0, 0.5), "test");
  filter->add(makePose("laser", 50));
  EXPECT_EQ(0u, releasedCount());

  // map <- odom completes the second target.
  buffer->setTransform(makeTransform("map", "odom", 49.0, 1.0), "test");
  EXPECT_EQ(0u, releasedCount());
  buffer->setTransform(makeTransform("map", "odom", 51.0, 1.0), "test");
  ASSERT_EQ(1u, releasedCount());
  EXPECT_EQ(50, released_stamps[0]);
  EXPECT_EQ(std::this_thread::get_id(), release_threads[0]);
}

TEST_F(MessageFilterTest, NoTargetFramesIgnoresInput)
{
  makeFilter(5, std::chrono::seconds(30));
  filter->setTargetFrames({});
  filter->add(makePose("base_link", 10));
  filter->add(makePose("", 10));
  EXPECT_EQ(0u, releasedCount());
  EXPECT_TRUE(logLinesContaining("Message Filter dropping message").empty());
}

TEST_F(MessageFilterTest, DestructionCancelsPendingWaits)
{
  makeFilter(5, std::chrono::seconds(30));
  filter->add(makePose("base_link", 60));
  filter.reset();
  // Had the wait survived the filter, this would call into freed memory.
  buffer->setTransform(makeTransform("map", "base_link", 61.0, 1.0), "test");
  EXPECT_EQ(0u, releasedCount());
}

// The buffer calls a timeout back after releasing its lock: destroyed at about that moment, the
// filter waits for the callback under way, and no drop is logged once the destructor returned.
TEST_F(MessageFilterTest, DestructionAtTheTimeoutWaitsForItsCallback)
{
  const int rounds = 2000;
  std::vector<size_t> log_size_at_destruction;
  for (int round = 0; round < rounds; ++round) {
    makeFilter(5, std::chrono::milliseconds(1));
    filter->add(makePose("base_link", 1000 + round));
    // Around the 1 ms timeout, spread so that some rounds meet the callback under way.
    std::this_thread::sleep_for(std::chrono::microseconds(600 + 100 * (round % 8)));
    filter.reset();
    std::lock_guard<std::mutex> lock(g_log_mutex);
    log_size_at_destruction.push_back(g_log.size());
  }
  timer_thread.reset();

  std::lock_guard<std::mutex> lock(g_log_mutex);
  for (size_t i = 0; i < g_log.size(); ++i) {
    const auto at = g_log[i].text.find(" at time ");
    if (g_log[i].text.find(kOutTheBack) == std::string::npos || at == std::string::npos) {
      continue;
    }
    const int round = std::stoi(g_log[i].text.substr(at + 9)) - 1000;
    ASSERT_GE(round, 0);
    ASSERT_LT(round, rounds);
    EXPECT_LT(i, log_size_at_destruction[round]) << g_log[i].text;
  }
}

// Destroyed inside its own output callback on the thread feeding the buffer (which holds its
// request lock there), with another message waiting: no wait for itself, no cancel at the buffer,
// the signal finishes its call, and the other wait no longer reaches the filter.
TEST_F(MessageFilterTest, DestructionInsideItsOwnCallback)
{
  filter = std::make_unique<Filter>(*buffer, "map", 5, node, std::chrono::seconds(30));
  filter->registerCallback([this](const Filter::MConstPtr &) { filter.reset(); });
  recordReleases();
  filter->add(makePose("base_link", 11));
  filter->add(makePose("base_link", 13));
  buffer->setTransform(makeTransform("map", "base_link", 12.0, 1.0), "test");
  EXPECT_EQ(nullptr, filter);
  buffer->setTransform(makeTransform("map", "base_link", 14.0, 1.0), "test");
  EXPECT_EQ((std::vector<int>{11}), released_stamps);
}

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
    return 1;
  }
  rclcpp::init(argc, argv);
  rcutils_logging_set_output_handler(captureOutput);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
