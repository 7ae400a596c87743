#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "brindlex_velnor/velnor_cache.hpp"
#include "pcl_conversions/pcl_conversions.h"
#include "rcl/time.h"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "rcutils/logging.h"
#include "rcutils_message.hpp"
#include "semantic_cloud_builder.hpp"
#include "tf2_ros/create_timer_ros.h"
#include "velnor_test_helpers.hpp"

namespace {

using namespace std::chrono_literals;
using brindlex_protocol::msg::SemanticPointCloud;
using velnor::MapChangeUnit;
using velnor::Observation;
using velnor::ObservationOption;
using velnor::VelnorCache;
using velnor_test::LogCapture;
using velnor_test::waitUntil;

// ---- Lines written through rcutils (the message filter reports its drops there). ----

std::mutex g_rcutils_mutex;
std::vector<std::string> g_rcutils_lines;
rcutils_logging_output_handler_t g_previous_handler = nullptr;

void captureRcutils(
    const rcutils_log_location_t * location,
    int severity,
    const char * name,
    rcutils_time_point_value_t timestamp,
    const char * format,
    va_list * args)
{
  {
    std::lock_guard<std::mutex> lock(g_rcutils_mutex);
    g_rcutils_lines.push_back(velnor_test::formatRcutilsMessage(format, args));
  }
  if (g_previous_handler != nullptr) {
    g_previous_handler(location, severity, name, timestamp, format, args);
  }
}

size_t rcutilsLinesContaining(const std::string & needle)
{
  std::lock_guard<std::mutex> lock(g_rcutils_mutex);
  size_t n = 0;
  for (const auto & line : g_rcutils_lines) {
    n += line.find(needle) != std::string::npos ? 1 : 0;
  }
  return n;
}

/// An executor spinning on its own thread; stopped and joined on destruction.
class Spinner
{
public:
  explicit Spinner(rclcpp::Executor::SharedPtr executor) : executor_(std::move(executor))
  {
    std::promise<std::thread::id> started;
    auto started_future = started.get_future();
    thread_ = std::thread([this, &started]() {
      started.set_value(std::this_thread::get_id());
      executor_->spin();
      done_ = true;
    });
    id_ = started_future.get();
  }

  ~Spinner()
  {
    // A cancel that comes before the spin has begun is lost: repeat until the thread is done.
    while (!done_) {
      executor_->cancel();
      std::this_thread::sleep_for(1ms);
    }
    thread_.join();
  }

  std::thread::id id() const { return id_; }

private:
  rclcpp::Executor::SharedPtr executor_;
  std::thread thread_;
  std::thread::id id_;
  std::atomic<bool> done_{false};
};

/// A cache with its insides in reach of the tests.
class CacheProbe : public VelnorCache
{
public:
  using VelnorCache::cache;
  using VelnorCache::cache_mutex;
  using VelnorCache::marking_buffers;
  using VelnorCache::message_filters;
  using VelnorCache::observation_buffers;
  using VelnorCache::subscribers;
  using VelnorCache::VelnorCache;

  size_t stored(size_t source)
  {
    auto & buffer = observation_buffers.at(source);
    std::lock_guard<std::mutex> lock(buffer->mutex);
    return buffer->getBufferedObservations().size();
  }

  /// Hands @p cloud straight to the buffer of @p source, as its filter would.
  bool store(size_t source, const SemanticPointCloud & cloud)
  {
    auto & buffer = observation_buffers.at(source);
    std::lock_guard<std::mutex> lock(buffer->mutex);
    return buffer->bufferCloud(cloud);
  }

  std::vector<std::string> markingNames()
  {
    std::lock_guard<std::mutex> lock(cache_mutex);
    std::vector<std::string> names;
    for (const auto & buffer : marking_buffers) {
      names.push_back(buffer->getOption().name);
    }
    return names;
  }
};

/// A cloud of one class with the given points.
std::shared_ptr<SemanticPointCloud> makeCloud(
    const std::string & frame,
    const builtin_interfaces::msg::Time & stamp,
    const std::vector<velnor_test::Point3> & points)
{
  auto cloud = std::make_shared<SemanticPointCloud>();
  cloud->header.frame_id = frame;
  cloud->header.stamp = stamp;
  cloud->semantic_clouds.push_back(velnor_test::makeElement(201, points));
  return cloud;
}

geometry_msgs::msg::TransformStamped makeTransform(
    const std::string & parent,
    const std::string & child,
    const builtin_interfaces::msg::Time & stamp,
    double x)
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = parent;
  t.header.stamp = stamp;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.rotation.w = 1.0;
  return t;
}

ObservationOption source(const std::string & name, const std::string & topic, bool marking = true)
{
  ObservationOption o;
  o.name = name;
  o.topic_name = topic;
  o.observation_keep_time = 1000.0;
  o.marking = marking;
  return o;
}

// A lifecycle node whose subscriptions run on one executor thread and whose tf buffer runs its
// timers on another, as in the costmap node.
class VelnorCacheTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    LogCapture::instance().clear();
    suffix = std::to_string(counter++);
    node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("cache_owner_" + suffix);
    driver = std::make_shared<rclcpp::Node>("cloud_driver_" + suffix);
    tf = std::make_shared<tf2_ros::Buffer>(node->get_clock());
    tf->setUsingDedicatedThread(true);  // fed by the tests' own threads
    timer_group = node->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
    tf->setCreateTimerInterface(std::make_shared<tf2_ros::CreateTimerROS>(
        node->get_node_base_interface(), node->get_node_timers_interface(), timer_group));
    timer_executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    timer_executor->add_callback_group(timer_group, node->get_node_base_interface());
    timer_spinner = std::make_unique<Spinner>(timer_executor);
    executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    executor->add_node(node->get_node_base_interface());
    spinner = std::make_unique<Spinner>(executor);

    stamp = node->now();
    tf->setTransform(makeTransform("map", "cam", stamp, 1.0), "test", true);
  }

  void TearDown() override
  {
    spinner.reset();
    cache.reset();
    timer_spinner.reset();
    tf.reset();
  }

  std::string topic(const std::string & name) const { return "/t" + suffix + "/" + name; }

  VelnorCache::Option cacheOption(const std::string & name = "cache") const
  {
    VelnorCache::Option o;
    o.name = name + suffix;
    o.global_frame = "map";
    o.transform_tolerance = 0.1;
    o.cache_resolution = 0.05;
    return o;
  }

  void makeCache(const std::vector<ObservationOption> & sources)
  {
    cache = std::make_unique<CacheProbe>(node, cacheOption(), *tf);
    cache->addObservationBufferListen(sources);
  }

  // Records on which thread each cloud left the filter of a source, and when its subscriber
  // handed a cloud to that filter (the filter's own callback comes first in both signals).
  void watchSource(size_t index)
  {
    cache->message_filters.at(index)->registerCallback(
        std::function<void(const std::shared_ptr<const SemanticPointCloud> &)>(
            [this](const std::shared_ptr<const SemanticPointCloud> &) {
              std::lock_guard<std::mutex> lock(mutex);
              release_threads.push_back(std::this_thread::get_id());
            }));
    cache->subscribers.at(index)->registerCallback(
        std::function<void(const std::shared_ptr<const SemanticPointCloud> &)>(
            [this](const std::shared_ptr<const SemanticPointCloud> &) {
              std::lock_guard<std::mutex> lock(mutex);
              ++filtered;
            }));
  }

  size_t filteredCount()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return filtered;
  }

  std::vector<std::thread::id> releases()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return release_threads;
  }

  static inline int counter = 0;
  std::string suffix;
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::shared_ptr<rclcpp::Node> driver;
  std::shared_ptr<tf2_ros::Buffer> tf;
  rclcpp::CallbackGroup::SharedPtr timer_group;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr timer_executor;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor;
  std::unique_ptr<Spinner> timer_spinner;
  std::unique_ptr<Spinner> spinner;
  std::unique_ptr<CacheProbe> cache;
  rclcpp::Time stamp;

  std::mutex mutex;
  std::vector<std::thread::id> release_threads;
  size_t filtered = 0;
};

TEST_F(VelnorCacheTest, FilterReleasesCloudsOnceTheirTransformsExist)
{
  // frame of the cloud, sensor frame of the source, frame fed later (empty: none), and whether
  // the cloud leaves the filter on the executor thread (at once) or on the feeding thread.
  struct Case
  {
    std::string cloud_frame;
    std::string sensor_frame;
    std::string fed_later;
    std::string fed_parent;
    bool at_once;
  };
  const std::vector<Case> cases = {
      {"cam", "", "", "", true},
      {"late_cam", "", "late_cam", "map", false},
      {"cam", "sensor", "sensor", "map", false},
  };
  std::vector<ObservationOption> sources;
  for (size_t i = 0; i < cases.size(); ++i) {
    auto o = source("src" + std::to_string(i), topic("cloud" + std::to_string(i)));
    o.sensor_frame = cases[i].sensor_frame;
    sources.push_back(o);
  }
  makeCache(sources);
  cache->activate();

  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    {
      std::lock_guard<std::mutex> lock(mutex);
      release_threads.clear();
      filtered = 0;
    }
    watchSource(i);
    auto publisher = driver->create_publisher<SemanticPointCloud>(topic("cloud" + std::to_string(i)), 10);
    publisher->publish(*makeCloud(cases[i].cloud_frame, stamp, {{0.5f, 0.0f, 0.2f}}));
    ASSERT_TRUE(waitUntil([&] { return filteredCount() == 1; }));
    if (cases[i].at_once) {
      EXPECT_EQ(1u, cache->stored(i));
      ASSERT_EQ(1u, releases().size());
      EXPECT_EQ(spinner->id(), releases()[0]);
      continue;
    }
    EXPECT_EQ(0u, cache->stored(i));
    EXPECT_TRUE(releases().empty());
    std::thread::id feeder;
    std::thread feed([&] {
      feeder = std::this_thread::get_id();
      tf->setTransform(makeTransform(cases[i].fed_parent, cases[i].fed_later, stamp, 0.5), "test");
    });
    feed.join();
    ASSERT_TRUE(waitUntil([&] { return cache->stored(i) == 1; }));
    ASSERT_EQ(1u, releases().size());
    EXPECT_EQ(feeder, releases()[0]);
  }
}

TEST_F(VelnorCacheTest, HeldCloudsAreDroppedOnAFullQueueAndOnTimeout)
{
  {
    std::lock_guard<std::mutex> lock(g_rcutils_mutex);
    g_rcutils_lines.clear();
  }
  makeCache({source("held", topic("held"))});
  cache->activate();
  watchSource(0);
  auto publisher = driver->create_publisher<SemanticPointCloud>(topic("held"), 10);
  const std::string frame = "nowhere" + suffix;
  for (int i = 0; i < 7; ++i) {
    publisher->publish(*makeCloud(frame, stamp, {{0.5f, 0.0f, 0.2f}}));
  }
  ASSERT_TRUE(waitUntil([&] { return filteredCount() == 7; }));
  const auto all_in = std::chrono::steady_clock::now();
  const std::string dropped = "Message Filter dropping message: frame '" + frame + "'";
  // A queue of 5: the two oldest were pushed out at once; the other five time out.
  EXPECT_EQ(2u, rcutilsLinesContaining("discarding message because the queue is full"));
  ASSERT_TRUE(waitUntil([&] { return rcutilsLinesContaining(dropped) == 7u; }));
  EXPECT_GE(std::chrono::steady_clock::now() - all_in, 150ms);
  EXPECT_EQ(5u, rcutilsLinesContaining("earlier than all the data in the transform cache"));
  EXPECT_EQ(0u, cache->stored(0));
  EXPECT_TRUE(releases().empty());
}

TEST_F(VelnorCacheTest, SourcesReceiveOnlyWhileActive)
{
  makeCache({source("a", topic("a")), source("quiet", "")});
  auto publisher = driver->create_publisher<SemanticPointCloud>(topic("a"), 10);
  // Built inactive: nothing subscribed, so this cloud is never buffered.
  EXPECT_EQ(0u, driver->count_subscribers(topic("a")));
  publisher->publish(*makeCloud("cam", stamp, {{9.0f, 0.0f, 0.2f}}));

  for (int round = 0; round < 2; ++round) {
    cache->activate();
    EXPECT_EQ(1u, driver->count_subscribers(topic("a")));
    EXPECT_EQ(nullptr, cache->subscribers.at(1)->getSubscriber());  // the empty topic never subscribes
    publisher->publish(*makeCloud("cam", stamp, {{0.5f, 0.0f, 0.2f}}));
    ASSERT_TRUE(waitUntil([&] { return cache->stored(0) == static_cast<size_t>(round + 1); }));
    cache->deactivate();
    EXPECT_EQ(nullptr, cache->subscribers.at(0)->getSubscriber());
    // The executor may still hold the dropped subscription for a moment.
    EXPECT_TRUE(waitUntil([&] { return driver->count_subscribers(topic("a")) == 0u; }));
  }
  EXPECT_EQ(0u, cache->stored(1));
  std::lock_guard<std::mutex> lock(cache->observation_buffers[0]->mutex);
  for (const auto & observation : cache->observation_buffers[0]->getBufferedObservations()) {
    EXPECT_FLOAT_EQ(1.5f, observation.units.at(0).points(0, 0));
  }
}

TEST_F(VelnorCacheTest, TeardownWhileCloudsFlowWaitsForRunningDeliveries)
{
  // An executor thread may still run the callback of a subscription that the cache has just
  // dropped. Caches are deactivated, activated, destroyed and built again while clouds flow on a
  // two-thread executor: such a delivery must finish before the cache lets go of what it uses,
  // or not start at all (ASan and TSan watch this loop).
  auto owner = std::make_shared<rclcpp_lifecycle::LifecycleNode>("loop_owner_" + suffix);
  auto two_threads =
      std::make_shared<rclcpp::executors::MultiThreadedExecutor>(rclcpp::ExecutorOptions(), 2);
  two_threads->add_node(owner->get_node_base_interface());
  Spinner loop_spinner(two_threads);
  std::atomic<bool> flowing{true};
  std::thread camera([&] {
    auto publisher = driver->create_publisher<SemanticPointCloud>(topic("flow"), 10);
    const auto cloud = makeCloud("cam", stamp, {{0.5f, 0.0f, 0.2f}});
    while (flowing) {
      publisher->publish(*cloud);
      std::this_thread::sleep_for(20us);
    }
  });
  for (int round = 0; round < 300; ++round) {
    CacheProbe loop_cache(owner, cacheOption(), *tf);
    loop_cache.addObservationBufferListen({source("a", topic("flow")), source("b", topic("flow"))});
    loop_cache.activate();
    loop_cache.deactivate();
    loop_cache.activate();
    if (round % 100 == 99) {
      // Clouds do reach the rebuilt caches.
      EXPECT_TRUE(waitUntil([&] { return loop_cache.stored(0) + loop_cache.stored(1) > 0; }))
          << round;
    }
  }
  flowing = false;
  camera.join();
}

TEST_F(VelnorCacheTest, MarkingListOperations)
{
  makeCache({source("a", "", true), source("b", "", false), source("c", "", true)});
  ASSERT_EQ((std::vector<std::string>{"a", "c"}), cache->markingNames());

  struct Step
  {
    std::string name;
    bool marking;
    bool result;
    std::vector<std::string> after;
  };
  const std::vector<Step> steps = {
      {"a", true, true, {"a", "c"}},        // already marking: nothing changes
      {"zz", true, false, {"a", "c"}},      // no such source
      {"b", false, false, {"a", "c"}},      // not marking, asked to stop
      {"a", false, true, {"c"}},            // removed, the others keep their order
      {"b", true, true, {"c", "b"}},        // appended in the order they become marking
      {"a", true, true, {"c", "b", "a"}},
  };
  for (const auto & step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.result, cache->setObservationMarkingStatus(step.name, step.marking));
    EXPECT_EQ(step.after, cache->markingNames());
  }

  // Only marking sources are gathered.
  for (size_t i = 0; i < 3; ++i) {
    const float x = 0.1f * static_cast<float>(i);
    ASSERT_TRUE(cache->store(i, *makeCloud("cam", stamp, {{x, 0.0f, 0.2f}})));
  }
  ASSERT_TRUE(cache->setObservationMarkingStatus("b", false));
  std::vector<Observation> observations;
  std::vector<std::shared_ptr<velnor::FrustumDetector>> detectors;
  EXPECT_TRUE(cache->getMarkingObservations(observations, detectors));
  ASSERT_EQ(2u, observations.size());  // c, then a
  EXPECT_FLOAT_EQ(1.0f + 0.2f, observations[0].units[0].points(0, 0));
  EXPECT_FLOAT_EQ(1.0f, observations[1].units[0].points(0, 0));
  EXPECT_TRUE(detectors.empty());
}

TEST_F(VelnorCacheTest, RateReportNamesSlowMarkingSources)
{
  // name, check_hz, clouds stored 0.5 s apart, marking, reported rate (absent: not reported)
  struct Case
  {
    std::string name;
    int32_t check_hz;
    int clouds;
    bool marking;
    bool reported;
    double rate;
  };
  const std::vector<Case> cases = {
      {"unchecked", 0, 2, true, false, 0.0},
      {"unmeasured", 5, 0, true, true, -1.0},
      {"first", 1, 1, true, true, 0.0},
      {"exact", 2, 2, true, true, 2.0},
      {"fast", 1, 2, true, false, 0.0},
      {"idle", 5, 0, false, false, 0.0},
  };
  std::vector<ObservationOption> sources;
  for (const auto & c : cases) {
    auto o = source(c.name, "", c.marking);
    o.check_hz = c.check_hz;
    sources.push_back(o);
  }
  makeCache(sources);

  rcl_clock_t * clock = node->get_clock()->get_clock_handle();
  ASSERT_EQ(RCL_RET_OK, rcl_enable_ros_time_override(clock));
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(RCL_RET_OK, rcl_set_ros_time_override(clock, stamp.nanoseconds() + k * 500000000LL));
    for (size_t i = 0; i < cases.size(); ++i) {
      if (k < cases[i].clouds) {
        ASSERT_TRUE(cache->store(i, *makeCloud("cam", stamp, {{0.5f, 0.0f, 0.2f}})));
      }
    }
  }

  std::unordered_map<std::string, double> rates{{"other", 42.0}};
  cache->checkAllMarkingObsHZ(rates);
  for (const auto & c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.reported ? 1u : 0u, rates.count(c.name));
    if (c.reported) {
      EXPECT_DOUBLE_EQ(c.rate, rates[c.name]);
    }
  }
  EXPECT_DOUBLE_EQ(42.0, rates["other"]);

  // Activation restarts every window: all checked marking sources are unmeasured again.
  cache->activate();
  rates.clear();
  cache->checkAllMarkingObsHZ(rates);
  EXPECT_EQ((std::unordered_map<std::string, double>{
                {"unmeasured", -1.0}, {"first", -1.0}, {"exact", -1.0}, {"fast", -1.0}}),
            rates);
  ASSERT_EQ(RCL_RET_OK, rcl_disable_ros_time_override(clock));
}

TEST_F(VelnorCacheTest, UnknownMessageTypeKeepsTheBufferWithoutSubscription)
{
  auto bad = source("bad", topic("bad"), true);
  bad.msg_type = "PointCloud2";
  cache = std::make_unique<CacheProbe>(node, cacheOption(), *tf);
  try {
    cache->addObservationBufferListen({source("good", topic("good"), false), bad, source("never", "")});
    FAIL() << "no exception";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ("Unknown message type: PointCloud2", e.what());
  }
  // The source before it is untouched; the bad one is registered and marking, without
  // subscription; the one after it was never added.
  EXPECT_EQ(2u, cache->observation_buffers.size());
  EXPECT_EQ(std::vector<std::string>{"bad"}, cache->markingNames());
  EXPECT_EQ(1u, cache->subscribers.size());
  EXPECT_EQ(1u, cache->message_filters.size());
  cache->activate();
  EXPECT_EQ(1u, driver->count_subscribers(topic("good")));
  EXPECT_EQ(0u, driver->count_subscribers(topic("bad")));
}

TEST_F(VelnorCacheTest, BadSettingsAndAGoneNodeAreRefused)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, std::string>> resolutions = {
      {0.0, "0"}, {-0.05, "-0.05"}, {nan, "nan"}, {inf, "inf"}, {-inf, "-inf"}};
  for (const auto & r : resolutions) {
    auto o = cacheOption();
    o.cache_resolution = r.first;
    try {
      VelnorCache bad(node, o, *tf);
      ADD_FAILURE() << "accepted " << r.second;
    } catch (const std::invalid_argument & e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find("got " + r.second)) << e.what();
    }
  }

  // A node that is gone: the debug publishers cannot be made, and no source can be added.
  auto gone = std::make_shared<rclcpp_lifecycle::LifecycleNode>("gone_" + suffix);
  std::weak_ptr<rclcpp_lifecycle::LifecycleNode> weak = gone;
  auto live = std::make_unique<CacheProbe>(gone, cacheOption(), *tf);
  gone.reset();
  auto traced = cacheOption();
  traced.enable_frustum_trace = true;
  EXPECT_THROW(
      {
        try {
          VelnorCache orphan(weak, traced, *tf);
        } catch (const std::invalid_argument & e) {
          EXPECT_STREQ("node cannot be nullptr", e.what());
          throw;
        }
      },
      std::invalid_argument);
  EXPECT_THROW(live->addObservationBufferListen(source("late", topic("late"))), std::invalid_argument);
  EXPECT_TRUE(live->observation_buffers.empty());
  EXPECT_TRUE(live->subscribers.empty());
  live->activate();  // without a node there is nothing to subscribe; it must not fail
}

TEST_F(VelnorCacheTest, DeactivateDropsTheCacheWithoutClears)
{
  makeCache({source("a", topic("a"))});
  ASSERT_TRUE(cache->store(0, *makeCloud("cam", stamp, {{0.5f, 0.0f, 0.2f}, {0.7f, 0.0f, 0.3f}})));
  auto operations = [](const std::vector<MapChangeUnit> & changes) {
    std::vector<int> ops;
    for (const auto & c : changes) {
      ops.push_back(static_cast<int>(c.operate));
    }
    return ops;
  };

  std::vector<MapChangeUnit> changes;
  EXPECT_TRUE(cache->updateCache(0.0, 0.0, changes));
  EXPECT_EQ(std::vector<int>{MapChangeUnit::MARK}, operations(changes));

  // Still held by its source: the old copy is withdrawn and the new one applied.
  changes.clear();
  cache->updateCache(0.0, 0.0, changes);
  EXPECT_EQ((std::vector<int>{MapChangeUnit::CLEAR, MapChangeUnit::MARK}), operations(changes));

  cache->deactivate();
  {
    std::lock_guard<std::mutex> lock(cache->cache_mutex);
    EXPECT_EQ(0u, cache->cache.size());
  }
  changes.clear();
  cache->updateCache(0.0, 0.0, changes);
  EXPECT_EQ(std::vector<int>{MapChangeUnit::MARK}, operations(changes));
  ASSERT_EQ(1u, changes.size());
  EXPECT_EQ(2, changes[0].points.cols());
}

TEST_F(VelnorCacheTest, CamerasOutOfPhaseKeepWhatOnlyOneOfThemSaw)
{
  // A fast camera that holds its newest cloud only, and a slow one holding a cloud older than
  // anything the fast one sends. Each cloud is one point, told apart by its y.
  auto fast = source("fast", "");
  fast.observation_keep_time = 0.0;
  makeCache({fast, source("slow", "")});
  const auto store = [this](size_t camera, double seconds_ago, float y) {
    const rclcpp::Time at(stamp.nanoseconds() - static_cast<int64_t>(seconds_ago * 1e9));
    EXPECT_TRUE(cache->store(camera, *makeCloud("cam", at, {{0.5f, y, 0.2f}})));
  };
  using Changes = std::vector<std::pair<int, float>>;  // operation, y of the point
  const int clear = MapChangeUnit::CLEAR;
  const int mark = MapChangeUnit::MARK;
  struct Step
  {
    std::string what;
    std::function<void()> act;
    Changes changes;
  };
  const std::vector<Step> steps = {
      {"the fast camera sees an object", [&] {
         store(0, 0.5, 1.0f);
         store(1, 4.0, -1.0f);
       },
       {{mark, 1.0f}, {mark, -1.0f}}},
      {"it turns away: only the cloud the slow camera still holds is delivered again",
       [&] { store(0, 0.0, -0.5f); }, {{clear, -1.0f}, {mark, -0.5f}, {mark, -1.0f}}},
      {"the slow camera's held cloud decays alone", [&] { cache->setDecayTime(2.5); },
       {{clear, -0.5f}, {clear, -1.0f}, {mark, -0.5f}, {mark, -1.0f}}},
      {"the fast camera stops marking: what it delivered stays",
       [&] { EXPECT_TRUE(cache->setObservationMarkingStatus("fast", false)); },
       {{clear, -1.0f}, {mark, -1.0f}}},
      {"and marks again as the same source",
       [&] { EXPECT_TRUE(cache->setObservationMarkingStatus("fast", true)); },
       {{clear, -0.5f}, {clear, -1.0f}, {mark, -0.5f}, {mark, -1.0f}}},
  };
  for (const auto & step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    std::vector<MapChangeUnit> changes;
    cache->updateCache(0.0, 0.0, changes);
    Changes got;
    for (const auto & change : changes) {
      got.emplace_back(change.operate, change.points.cols() == 1 ? change.points(1, 0) : NAN);
    }
    EXPECT_EQ(step.changes, got);
  }
}

TEST_F(VelnorCacheTest, UpdateAgesTheCacheWithTheCurrentSettings)
{
  // A unit observed 10 s ago, whose source then stops marking (so it is not delivered again),
  // meets the decay time set at run time and the distance from the robot.
  struct Case
  {
    double decay_time;
    double cache_distance;
    double robot_x;
    bool cleared;
  };
  const std::vector<Case> cases = {
      {0.0, 0.0, 50.0, false}, {20.0, 0.0, 0.0, false}, {5.0, 0.0, 0.0, true},
      {0.0, 100.0, 50.0, false}, {0.0, 10.0, 50.0, true},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.decay_time);
    SCOPED_TRACE(c.cache_distance);
    auto o = cacheOption();
    o.local_cache_distance = c.cache_distance;
    cache = std::make_unique<CacheProbe>(node, o, *tf);
    cache->addObservationBufferListen(source("a", ""));
    const rclcpp::Time before(stamp.nanoseconds() - 10000000000LL);
    tf->setTransform(makeTransform("map", "old_cam", before, 1.0), "test", true);
    ASSERT_TRUE(cache->store(0, *makeCloud("old_cam", before, {{0.5f, 0.0f, 0.2f}})));
    std::vector<MapChangeUnit> changes;
    cache->updateCache(c.robot_x, 0.0, changes);
    ASSERT_EQ(1u, changes.size());
    ASSERT_TRUE(cache->setObservationMarkingStatus("a", false));
    cache->setDecayTime(c.decay_time);
    changes.clear();
    EXPECT_TRUE(cache->updateCache(c.robot_x, 0.0, changes));
    EXPECT_EQ(c.cleared ? 1u : 0u, changes.size());
    if (c.cleared) {
      EXPECT_EQ(MapChangeUnit::CLEAR, changes[0].operate);
    }
  }
}

// ---- The debug view. ----

velnor::ObservationUnit unitWith(int points, float x0, float y0)
{
  velnor::ObservationUnit unit;
  unit.points.resize(3, points);
  for (int k = 0; k < points; ++k) {
    unit.points.col(k) << x0 + 0.1f * static_cast<float>(k), y0 + 0.01f * static_cast<float>(k), 0.2f;
  }
  unit.updateEdge();
  return unit;
}

std::shared_ptr<velnor::FrustumDetector> detectorAt(int64_t stamp_ns, bool ready)
{
  auto detector = std::make_shared<velnor::FrustumDetector>(
      velnor_test::makeCameraInfo(), 0.5f, 3.0f, 0.1f, 0.25f, velnor::FrustumDetectorStrategy());
  if (stamp_ns > 0) {
    detector->setPose(Eigen::Matrix4f::Identity(), rclcpp::Time(stamp_ns, RCL_SYSTEM_TIME));
  }
  if (ready) {
    geometry_msgs::msg::Polygon shape;
    for (const auto & p : {std::array<float, 2>{0.0f, 0.0f}, {2.0f, -1.0f}, {2.0f, 1.0f}}) {
      geometry_msgs::msg::Point32 v;
      v.x = p[0];
      v.y = p[1];
      shape.points.push_back(v);
    }
    detector->setShape(shape);
    detector->fixSetting();
  }
  return detector;
}

int64_t systemNowNs() { return rclcpp::Clock(RCL_SYSTEM_TIME).now().nanoseconds(); }

class VelnorCacheDebugTest : public VelnorCacheTest
{
protected:
  void makeTracedCache()
  {
    auto o = cacheOption("traced");
    o.enable_frustum_trace = true;
    cache = std::make_unique<CacheProbe>(node, o, *tf);
    name = o.name;
    viewer = std::make_shared<rclcpp::Node>("viewer_" + suffix);
    viewer_executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    viewer_executor->add_node(viewer);
  }

  void publish(
      const std::vector<Observation> & observations,
      const std::vector<std::shared_ptr<velnor::FrustumDetector>> & detectors)
  {
    std::lock_guard<std::mutex> lock(cache->cache_mutex);
    cache->publishDebugMarkers(observations, detectors);
  }

  size_t summaries(const std::string & counts)
  {
    return LogCapture::instance().count(spdlog::level::info, name + ", " + counts);
  }

  template <typename MessageT>
  bool receive(const std::vector<MessageT> & received, size_t count)
  {
    return waitUntil([&] {
      viewer_executor->spin_some();
      return received.size() >= count;
    });
  }

  std::string name;
  std::shared_ptr<rclcpp::Node> viewer;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr viewer_executor;
};

TEST_F(VelnorCacheDebugTest, SummaryIsLoggedAtMostEveryFiveSecondsOfMarkerTime)
{
  makeTracedCache();
  cache->activate();
  const int64_t t0 = systemNowNs();
  const int64_t s = 1000000000LL;
  // The marker time is the system time without detectors, else the last detector's stamp.
  struct Step
  {
    int64_t detector_stamp;  // 0: no detector
    std::string counts;
    size_t logged;
  };
  const std::vector<Step> steps = {
      {0, "frustum num 0, obs num 0, obs-point num 0, buffer num 0, buffer-point num 0.", 1},
      {0, "frustum num 0, obs num 0, obs-point num 0, buffer num 0, buffer-point num 0.", 1},
      {t0 + 6 * s, "frustum num 1, obs num 0, obs-point num 0, buffer num 0, buffer-point num 0.", 1},
      {t0 + 11 * s, "frustum num 1, obs num 0, obs-point num 0, buffer num 0, buffer-point num 0.", 1},
      {t0 + 11 * s + s / 10, "frustum num 1, obs num 0, obs-point num 0, buffer num 0, buffer-point num 0.", 2},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    std::vector<std::shared_ptr<velnor::FrustumDetector>> detectors;
    if (steps[i].detector_stamp != 0) {
      detectors.push_back(detectorAt(steps[i].detector_stamp, false));
    }
    publish({}, detectors);
    EXPECT_EQ(steps[i].logged, summaries(steps[i].counts));
  }
}

TEST_F(VelnorCacheDebugTest, MarkersAndCloudsDrawDetectorsObservationsAndCache)
{
  makeTracedCache();
  cache->activate();
  std::vector<visualization_msgs::msg::MarkerArray> arrays;
  std::vector<sensor_msgs::msg::PointCloud2> combined;
  std::vector<sensor_msgs::msg::PointCloud2> cluster;
  auto s1 = viewer->create_subscription<visualization_msgs::msg::MarkerArray>(
      "/frustum_debug_markers", 1, [&](visualization_msgs::msg::MarkerArray::SharedPtr m) {
        arrays.push_back(*m);
      });

  // The cache: a unit of three points and one without points, both stamped now.
  {
    Observation cached;
    cached.stamp = rclcpp::Time(systemNowNs(), RCL_SYSTEM_TIME);
    cached.units = {unitWith(3, 5.0f, 5.0f), unitWith(0, 0.0f, 0.0f)};
    std::vector<MapChangeUnit> changes;
    std::lock_guard<std::mutex> lock(cache->cache_mutex);
    cache->cache.update({cached}, {}, velnor::CellCache::Settings(), 0.0, 0.0,
                        rclcpp::Clock(RCL_SYSTEM_TIME).now().seconds(), changes);
    ASSERT_EQ(2u, cache->cache.size());
  }
  Observation seen;
  seen.units = {unitWith(250, 1.0f, 2.0f), unitWith(0, 0.0f, 0.0f), unitWith(100, -3.0f, 1.0f),
                unitWith(1, 0.5f, 0.5f)};
  const int64_t t1 = systemNowNs() - 2000000000LL;
  const int64_t t3 = t1 + 1000000000LL;
  const std::vector<std::shared_ptr<velnor::FrustumDetector>> detectors = {
      detectorAt(t1, true), detectorAt(0, false), detectorAt(t3, false)};

  publish({seen}, detectors);
  ASSERT_TRUE(receive(arrays, 1));
  EXPECT_EQ(1u, summaries("frustum num 2, obs num 3, obs-point num 351, buffer num 2, buffer-point num 3."));

  using visualization_msgs::msg::Marker;
  struct Expected
  {
    std::string ns;
    int32_t id;
    int32_t type;
    std::string frame;
    int64_t stamp;
    double x, y, z, sx, sy, sz;
    float r, g, b, a;
  };
  const float orange[3] = {240.0f / 255.0f, 123.0f / 255.0f, 63.0f / 255.0f};
  const float yellow[3] = {1.0f, 212.0f / 255.0f, 96.0f / 255.0f};
  const float red[3] = {234.0f / 255.0f, 84.0f / 255.0f, 85.0f / 255.0f};
  const double near_x = (640.0f - 319.5f) * 2.0f * 0.5f / 525.0f + 0.000001f;
  const double near_y = (480.0f - 239.5f) * 2.0f * 0.5f / 525.0f + 0.000001f;
  const double far_x = (640.0f - 319.5f) * 2.0f * 3.0f / 525.0f + 0.000001f;
  const double far_y = (480.0f - 239.5f) * 2.0f * 3.0f / 525.0f + 0.000001f;
  const auto & u250 = seen.units[0];
  const auto & u100 = seen.units[2];
  const auto & c3 = *cache->cache.getUnits().begin();
  const std::vector<Expected> expected = {
      {name + ".shape", 0, Marker::LINE_LIST, "map", t1, 0, 0, 0, 0.02, 0, 0, orange[0], orange[1], orange[2], 0.6f},
      {name + ".frustum", 0, Marker::CUBE, "camera_optical", t1, 0, 0, 0.5, near_x, near_y, 0.02, yellow[0], yellow[1], yellow[2], 0.6f},
      {name + ".frustum", 1, Marker::CUBE, "camera_optical", t1, 0, 0, 3.0, far_x, far_y, 0.02, yellow[0], yellow[1], yellow[2], 0.6f},
      {name + ".frustum", 2, Marker::CUBE, "camera_optical", t3, 0, 0, 0.5, near_x, near_y, 0.02, yellow[0], yellow[1], yellow[2], 0.6f},
      {name + ".frustum", 3, Marker::CUBE, "camera_optical", t3, 0, 0, 3.0, far_x, far_y, 0.02, yellow[0], yellow[1], yellow[2], 0.6f},
      {name + ".cur_pc", 0, Marker::CUBE, "map", t3, (u250.min_x + u250.max_x) / 2.0f, (u250.min_y + u250.max_y) / 2.0f, 0.0,
       (u250.max_x - u250.min_x) * 0.5f, (u250.max_y - u250.min_y) * 0.5f, 0.05, orange[0], orange[1], orange[2], 0.5f},
      {name + ".cur_pc", 1, Marker::CUBE, "map", t3, (u100.min_x + u100.max_x) / 2.0f, (u100.min_y + u100.max_y) / 2.0f, 0.05,
       (u100.max_x - u100.min_x) * 0.5f, (u100.max_y - u100.min_y) * 0.5f, 0.05, orange[0], orange[1], orange[2], 0.5f},
      {name + ".cur_pc", 2, Marker::CUBE, "map", t3, 0.5, 0.5, 0.1, 0, 0, 0.05, orange[0], orange[1], orange[2], 0.104f},
      {name + ".buffer", 0, Marker::CUBE, "map", t3, (c3.min_x + c3.max_x) / 2.0f, (c3.min_y + c3.max_y) / 2.0f, 0.0,
       c3.max_x - c3.min_x, c3.max_y - c3.min_y, 0.05, red[0], red[1], red[2], 0.112f},
      {name + ".buffer", 1, Marker::CUBE, "map", t3, 0, 0, -0.05, 0, 0, 0.05, red[0], red[1], red[2], 0.1f},
  };
  const auto & markers = arrays[0].markers;
  ASSERT_EQ(expected.size(), markers.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const auto & e = expected[i];
    const auto & m = markers[i];
    EXPECT_EQ(e.ns, m.ns);
    EXPECT_EQ(e.id, m.id);
    EXPECT_EQ(e.type, m.type);
    EXPECT_EQ(Marker::ADD, m.action);
    EXPECT_EQ(e.frame, m.header.frame_id);
    EXPECT_EQ(e.stamp, rclcpp::Time(m.header.stamp).nanoseconds());
    if (m.type == Marker::CUBE) {
      EXPECT_NEAR(e.x, m.pose.position.x, 1e-6);
      EXPECT_NEAR(e.y, m.pose.position.y, 1e-6);
      EXPECT_NEAR(e.z, m.pose.position.z, 1e-6);
      EXPECT_NEAR(e.sy, m.scale.y, 1e-6);
      EXPECT_NEAR(e.sz, m.scale.z, 1e-6);
      EXPECT_EQ(1.0, m.pose.orientation.w);
    } else {
      EXPECT_EQ(16u, m.points.size());  // the detector's own outline is kept
    }
    EXPECT_NEAR(e.sx, m.scale.x, 1e-6);
    EXPECT_FLOAT_EQ(e.r, m.color.r);
    EXPECT_FLOAT_EQ(e.g, m.color.g);
    EXPECT_FLOAT_EQ(e.b, m.color.b);
    EXPECT_NEAR(e.a, m.color.a, 1e-6);
  }

  // The clouds: built only for a topic with a subscriber.
  auto s2 = viewer->create_subscription<sensor_msgs::msg::PointCloud2>(
      "/combined_pcl", 1, [&](sensor_msgs::msg::PointCloud2::SharedPtr m) { combined.push_back(*m); });
  auto s3 = viewer->create_subscription<sensor_msgs::msg::PointCloud2>(
      "/cluster_pcl", 1, [&](sensor_msgs::msg::PointCloud2::SharedPtr m) { cluster.push_back(*m); });
  publish({seen}, {});
  ASSERT_TRUE(receive(arrays, 2));
  ASSERT_TRUE(receive(combined, 1));
  ASSERT_TRUE(receive(cluster, 1));
  for (const auto & [cloud, points] :
       {std::make_pair(&combined[0], 351u), std::make_pair(&cluster[0], 3u)}) {
    EXPECT_EQ(points, cloud->width);
    EXPECT_EQ(1u, cloud->height);
    EXPECT_FALSE(cloud->is_dense);
    EXPECT_EQ("map", cloud->header.frame_id);
  }
  pcl::PointCloud<pcl::PointXYZ> back;
  pcl::fromROSMsg(cluster[0], back);
  ASSERT_EQ(3u, back.size());
  EXPECT_FLOAT_EQ(c3.points(0, 2), back[2].x);

  // Each update draws once more; a cache made without the trace has no debug publisher at all.
  std::vector<MapChangeUnit> changes;
  cache->updateCache(0.0, 0.0, changes);
  ASSERT_TRUE(receive(arrays, 3));
  s1.reset();
  s2.reset();
  s3.reset();
  cache.reset();
  EXPECT_EQ(0u, viewer->count_publishers("/frustum_debug_markers"));
  cache = std::make_unique<CacheProbe>(node, cacheOption(), *tf);
  cache->activate();
  cache->updateCache(0.0, 0.0, changes);
  EXPECT_EQ(0u, viewer->count_publishers("/frustum_debug_markers"));
  EXPECT_EQ(0u, viewer->count_publishers("/combined_pcl"));
}

}  // namespace

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  rclcpp::init(argc, argv);
  g_previous_handler = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(captureRcutils);
  const int result = RUN_ALL_TESTS();
  rclcpp::shutdown();
  return result;
}
