#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_velnor/camera_info_util.hpp"
#include "brindlex_velnor/frustum_agent.hpp"
#include "brindlex_velnor/frustum_manager.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "velnor_test_helpers.hpp"

namespace {

using namespace std::chrono_literals;
using velnor::FrustumAgent;
using velnor::FrustumManager;
using velnor_test::CameraPose;
using velnor_test::LogCapture;
using velnor_test::makeCameraInfo;
using velnor_test::waitUntil;

constexpr auto kDeadline = 10s;

// Runs work on its own thread and reports whether it finished within the deadline.
bool finishesWithin(std::function<void()> work, std::chrono::seconds deadline = kDeadline)
{
  auto done = std::async(std::launch::async, std::move(work));
  const bool finished = done.wait_for(deadline) == std::future_status::ready;
  if (finished) {
    done.get();
  }
  return finished;
}

FrustumManager::Option option(const std::string & name, const std::string & topic)
{
  FrustumManager::Option o;
  o.name = name;
  o.camera_info_topic = topic;
  o.min_view_distance = 0.5;
  o.max_view_distance = 3.0;
  o.theta_resolution = 0.1;
  o.r_resolution = 0.25;
  o.strategy.no_reference_point = 10;
  return o;
}

class FrustumManagerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    LogCapture::instance().clear();
    const std::string suffix = std::to_string(counter++);
    node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("frustum_owner_" + suffix);
    driver = std::make_shared<rclcpp::Node>("camera_driver_" + suffix);
    prefix = "/test" + suffix;
  }

  std::string topic(const std::string & name) const { return prefix + "/" + name + "/camera_info"; }

  size_t subscribers(const std::string & name) const
  {
    return driver->count_subscribers(topic(name));
  }

  // Publishes the camera's CameraInfo again and again (each attempt of the frustum thread sees
  // only messages sent during it) until the condition holds.
  bool publishUntil(const std::string & name, const std::function<bool()> & condition)
  {
    auto publisher = driver->create_publisher<sensor_msgs::msg::CameraInfo>(topic(name), 10);
    auto info = makeCameraInfo();
    info.header.frame_id = name + "_optical";
    return waitUntil([&] {
      publisher->publish(info);
      return condition();
    });
  }

  static size_t errors(const std::string & text)
  {
    return LogCapture::instance().count(spdlog::level::err, text);
  }
  static size_t infos(const std::string & text)
  {
    return LogCapture::instance().count(spdlog::level::info, text);
  }

  static inline int counter = 0;
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::shared_ptr<rclcpp::Node> driver;
  std::string prefix;
};

TEST_F(FrustumManagerTest, DuplicateNamesKeepTheFirst)
{
  FrustumManager manager(node, {});
  EXPECT_TRUE(manager.add(option("left", ""), true));
  EXPECT_EQ(1u, infos("FrustumManager::add name left success"));
  EXPECT_FALSE(manager.add(option("left", topic("other")), true));
  EXPECT_EQ(1u, errors("FrustumManager::add repeat name left, ignore"));

  // The list form reports each duplicate and still answers true.
  EXPECT_TRUE(manager.add({option("right", ""), option("right", ""), option("top", "")}, true));
  EXPECT_EQ(1u, errors("FrustumManager::add repeat name right, ignore"));
  EXPECT_EQ(1u, infos("FrustumManager::add name top success"));
  EXPECT_NE(nullptr, manager.registerAgent("top"));
}

TEST_F(FrustumManagerTest, EmptyNameWorksOnce)
{
  FrustumManager manager(node, {option("", "")});
  EXPECT_FALSE(manager.add(option("", ""), false));
  EXPECT_EQ(1u, errors("FrustumManager::add repeat name , ignore"));
  EXPECT_NE(nullptr, manager.registerAgent(""));
  EXPECT_EQ(1u, infos("FrustumManager::registerAgent get name  success"));
}

TEST_F(FrustumManagerTest, UnknownNameGivesNoAgent)
{
  FrustumManager manager(node, {option("left", "")});
  EXPECT_EQ(nullptr, manager.registerAgent("right"));
  EXPECT_EQ(1u, errors("FrustumManager::registerAgent get name right failed, return nullptr"));
  EXPECT_EQ(nullptr, manager.registerAgent("Left"));
}

TEST_F(FrustumManagerTest, AgentBeforeDetectorAndLatePublisher)
{
  FrustumManager manager(node, {option("front", topic("front"))});
  auto agent = manager.registerAgent("front");
  ASSERT_NE(nullptr, agent);
  std::string frame = "untouched";
  EXPECT_FALSE(agent->getFrameId(frame));
  EXPECT_EQ("untouched", frame);
  const velnor::FrustumDetector::PointMatrix points =
      velnor::FrustumDetector::PointMatrix::Zero(3, 4);
  EXPECT_FALSE(agent->setInput(CameraPose{0, 0, 1, 0}.transform(), {}, {&points}));
  EXPECT_TRUE(manager.getUsing().empty());

  // The frustum thread is waiting for the camera before any publisher exists.
  ASSERT_TRUE(waitUntil([&] { return subscribers("front") > 0; }));
  ASSERT_TRUE(publishUntil("front", [&] { return agent->getFrameId(frame); }));
  EXPECT_EQ("front_optical", frame);

  manager.clear();
  ASSERT_TRUE(agent->setInput(CameraPose{1, 2, 0.5, 0.3}.transform(7), {}, {}));
  const auto used = manager.getUsing();
  ASSERT_EQ(1u, used.size());
  EXPECT_EQ("front_optical", used[0]->param.frame_id);
  EXPECT_EQ(640u, used[0]->param.width);
  EXPECT_FLOAT_EQ(3.0f, used[0]->param.view_max_distance);
  EXPECT_FLOAT_EQ(0.25f, used[0]->r_resolution);
  EXPECT_EQ(10, used[0]->strategy.no_reference_point);
  EXPECT_TRUE(used[0]->ready);
  EXPECT_FLOAT_EQ(1.0f, used[0]->translation[0]);

  // The camera's subscription was only for the wait.
  EXPECT_TRUE(waitUntil([&] { return subscribers("front") == 0; }));
}

TEST_F(FrustumManagerTest, EmptyTopicNeverGetsADetector)
{
  FrustumManager manager(node, {option("blind", ""), option("seeing", topic("seeing"))});
  auto blind = manager.registerAgent("blind");
  auto seeing = manager.registerAgent("seeing");
  ASSERT_NE(nullptr, blind);
  ASSERT_NE(nullptr, seeing);
  std::string frame;
  // The thread passes over the empty topic and builds the other frustum.
  ASSERT_TRUE(publishUntil("seeing", [&] { return seeing->getFrameId(frame); }));
  EXPECT_FALSE(blind->getFrameId(frame));
  EXPECT_FALSE(blind->setInput(CameraPose{0, 0, 1, 0}.transform(), {}, {}));
  manager.clear();
  EXPECT_TRUE(manager.getUsing().empty());
  EXPECT_EQ(0u, LogCapture::instance().countContaining(spdlog::level::err, ""));
}

TEST_F(FrustumManagerTest, GetCamParaTakesNothingFromAnEmptyTopic)
{
  sensor_msgs::msg::CameraInfo info;
  info.width = 7;
  EXPECT_FALSE(velnor::util::get_cam_para(node, "", info, 0.05));
  EXPECT_EQ(7u, info.width);
}

TEST_F(FrustumManagerTest, GetCamParaTakesOneMessage)
{
  std::atomic<bool> stop{false};
  auto publisher = driver->create_publisher<sensor_msgs::msg::CameraInfo>(topic("direct"), 10);
  std::thread feeder([&] {
    auto info = makeCameraInfo(320, 240);
    info.header.frame_id = "direct_optical";
    while (!stop.load()) {
      publisher->publish(info);
      std::this_thread::sleep_for(5ms);
    }
  });
  sensor_msgs::msg::CameraInfo out;
  bool received = false;
  for (int attempt = 0; attempt < 20 && !received; ++attempt) {
    received = velnor::util::get_cam_para(node, topic("direct"), out, 0.5);
  }
  stop = true;
  feeder.join();
  ASSERT_TRUE(received);
  EXPECT_EQ("direct_optical", out.header.frame_id);
  EXPECT_EQ(320u, out.width);
  EXPECT_EQ(0u, subscribers("direct"));
}

TEST_F(FrustumManagerTest, RejectedTopicNameDisablesOnlyThatFrustum)
{
  FrustumManager manager(
      node, {option("bad", "not a valid/topic name!"), option("good", topic("good"))});
  auto good = manager.registerAgent("good");
  auto bad = manager.registerAgent("bad");
  std::string frame;
  ASSERT_TRUE(publishUntil("good", [&] { return good->getFrameId(frame); }));
  const std::string record =
      "FrustumManager camera info topic not a valid/topic name! of frustum bad cannot be "
      "subscribed";
  ASSERT_TRUE(waitUntil(
      [&] { return LogCapture::instance().countContaining(spdlog::level::err, record) > 0; }));
  EXPECT_EQ(1u, LogCapture::instance().countContaining(spdlog::level::err, ""));
  EXPECT_FALSE(bad->getFrameId(frame));
}

// Two sources bound to one frustum in one cycle: the first poses and shapes the detector, both
// bin their clouds.
TEST_F(FrustumManagerTest, TwoSourcesOnOneFrustumInOneCycle)
{
  FrustumManager manager(node, {option("cam", topic("cam"))});
  auto first = manager.registerAgent("cam");
  auto second = manager.registerAgent("cam");
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  std::string frame;
  ASSERT_TRUE(publishUntil("cam", [&] { return first->getFrameId(frame); }));
  ASSERT_TRUE(second->getFrameId(frame));

  const CameraPose pose{0.0, 0.0, 0.5, 0.0};
  const CameraPose elsewhere{5.0, 5.0, 0.5, 1.5};
  geometry_msgs::msg::Polygon shape;
  for (const auto & v : {pose.polar(-0.5, 0.6, 0.0), pose.polar(0.5, 3.4, 0.0)}) {
    geometry_msgs::msg::Point32 p;
    p.x = static_cast<float>(v.x());
    p.y = static_cast<float>(v.y());
    shape.points.push_back(p);
  }
  velnor::FrustumDetector::PointMatrix a(3, 2);
  a.col(0) = pose.polar(0.05, 1.0, 0.6).cast<float>();
  a.col(1) = pose.polar(0.05, 2.0, 0.4).cast<float>();
  velnor::FrustumDetector::PointMatrix b(3, 1);
  b.col(0) = pose.polar(-0.2, 1.5, 0.9).cast<float>();

  for (int cycle = 0; cycle < 2; ++cycle) {
    ASSERT_TRUE(manager.clear());
    ASSERT_TRUE(first->setInput(pose.transform(3), shape, {&a}));
    ASSERT_TRUE(second->setInput(elsewhere.transform(4), {}, {&b, nullptr}));
    const auto used = manager.getUsing();
    ASSERT_EQ(1u, used.size());
    const auto & d = *used[0];
    EXPECT_EQ(3000000000, d.stamp.nanoseconds());
    EXPECT_FLOAT_EQ(0.0f, d.translation[0]);
    EXPECT_EQ(2, d.input_cloud_count);
    EXPECT_EQ(3, d.reference_point_count);
    // The second source's point counts in its own column.
    const pcl::PointXYZ seen(b(0, 0), b(1, 0), b(2, 0));
    EXPECT_EQ(1, d.checkPointFrustumStatus(seen, true));
  }

  // A cycle without input: nothing in use, and the detector was cleared.
  const auto detector = manager.getUsing()[0];
  ASSERT_TRUE(manager.clear());
  EXPECT_FALSE(detector->has_transform);
  EXPECT_TRUE(manager.getUsing().empty());
  EXPECT_TRUE(manager.clear());
}

TEST_F(FrustumManagerTest, GetUsingWithoutInputIsEmpty)
{
  FrustumManager empty(node, {});
  EXPECT_TRUE(empty.clear());
  EXPECT_TRUE(empty.getUsing().empty());

  FrustumManager manager(node, {option("cam", topic("cam"))});
  auto agent = manager.registerAgent("cam");
  std::string frame;
  ASSERT_TRUE(publishUntil("cam", [&] { return agent->getFrameId(frame); }));
  EXPECT_TRUE(manager.getUsing().empty());
  EXPECT_TRUE(manager.clear());
  EXPECT_TRUE(manager.getUsing().empty());
}

TEST_F(FrustumManagerTest, IdleManagerIsDestroyed)
{
  auto manager = std::make_unique<FrustumManager>(node, std::vector<FrustumManager::Option>{});
  EXPECT_TRUE(finishesWithin([&] { manager.reset(); }));
}

TEST_F(FrustumManagerTest, DestructionWithPendingRequestsEndsTheWaits)
{
  auto manager = std::make_unique<FrustumManager>(
      node,
      std::vector<FrustumManager::Option>{
          option("a", topic("a")), option("b", topic("b")), option("c", topic("c"))});
  ASSERT_TRUE(
      waitUntil([&] { return subscribers("a") + subscribers("b") + subscribers("c") > 0; }));
  EXPECT_TRUE(finishesWithin([&] { manager.reset(); }));
  // No attempt outlives the manager.
  EXPECT_EQ(0u, subscribers("a") + subscribers("b") + subscribers("c"));
}

TEST_F(FrustumManagerTest, AgentOutlivingItsManagerStaysSafe)
{
  auto manager = std::make_unique<FrustumManager>(
      node, std::vector<FrustumManager::Option>{option("cam", topic("cam")), option("off", "")});
  auto built = manager->registerAgent("cam");
  auto never = manager->registerAgent("off");
  std::string frame;
  ASSERT_TRUE(publishUntil("cam", [&] { return built->getFrameId(frame); }));
  manager.reset();
  frame.clear();
  EXPECT_TRUE(built->getFrameId(frame));
  EXPECT_EQ("cam_optical", frame);
  EXPECT_TRUE(built->setInput(CameraPose{0, 0, 1, 0}.transform(), {}, {}));
  EXPECT_FALSE(never->getFrameId(frame));
}

TEST_F(FrustumManagerTest, ExpiredNodeLeavesRequestsPending)
{
  std::weak_ptr<rclcpp_lifecycle::LifecycleNode> gone;
  {
    auto temporary = std::make_shared<rclcpp_lifecycle::LifecycleNode>("short_lived");
    gone = temporary;
  }
  auto manager = std::make_unique<FrustumManager>(
      gone, std::vector<FrustumManager::Option>{option("cam", topic("cam"))});
  auto agent = manager->registerAgent("cam");
  ASSERT_NE(nullptr, agent);
  std::string frame;
  EXPECT_FALSE(agent->getFrameId(frame));
  EXPECT_TRUE(manager->add(option("more", topic("more")), true));
  EXPECT_TRUE(finishesWithin([&] { manager.reset(); }));
}

// The per-cycle calls never wait for a CameraInfo wait in progress.
TEST_F(FrustumManagerTest, CycleCallsDoNotWaitForTheCamera)
{
  // A wait far longer than the deadline below, ended by the camera's first message.
  FrustumManager manager(node, {option("slow", topic("slow"))}, 60.0);
  auto agent = manager.registerAgent("slow");
  ASSERT_TRUE(waitUntil([&] { return subscribers("slow") > 0; }));
  const bool finished = finishesWithin([&] {
    manager.clear();
    manager.getUsing();
    std::string frame;
    agent->getFrameId(frame);
    manager.registerAgent("slow");
    manager.add(option("later", ""), false);
  });
  EXPECT_TRUE(finished);
  // The same wait is still running and takes the message.
  std::string frame;
  ASSERT_TRUE(publishUntil("slow", [&] { return agent->getFrameId(frame); }));
  EXPECT_EQ("slow_optical", frame);
}

// The map-update thread cycles and a cloud thread asks for camera frames while the frustum thread
// installs detectors one after another.
TEST_F(FrustumManagerTest, CyclesRunWhileDetectorsAreBuilt)
{
  const std::vector<std::string> names = {"c0", "c1", "c2"};
  FrustumManager manager(
      node,
      {option(names[0], topic(names[0])),
       option(names[1], topic(names[1])),
       option(names[2], topic(names[2]))});
  std::vector<std::shared_ptr<FrustumAgent>> agents;
  for (const auto & name : names) {
    agents.push_back(manager.registerAgent(name));
    ASSERT_NE(nullptr, agents.back());
  }
  // Each camera's agent for the cloud thread, as each observation buffer has its own.
  std::vector<std::shared_ptr<FrustumAgent>> cloud_agents;
  for (const auto & name : names) {
    cloud_agents.push_back(manager.registerAgent(name));
  }

  std::atomic<bool> stop{false};
  std::atomic<int> frames_seen{0};
  std::thread cloud_thread([&] {
    std::string frame;
    while (!stop.load()) {
      for (auto & agent : cloud_agents) {
        if (agent->getFrameId(frame)) {
          frames_seen.fetch_add(1);
        }
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  std::vector<rclcpp::Publisher<sensor_msgs::msg::CameraInfo>::SharedPtr> publishers;
  for (const auto & name : names) {
    publishers.push_back(driver->create_publisher<sensor_msgs::msg::CameraInfo>(topic(name), 10));
  }
  std::thread camera_thread([&] {
    while (!stop.load()) {
      for (size_t k = 0; k < names.size(); ++k) {
        auto info = makeCameraInfo();
        info.header.frame_id = names[k];
        publishers[k]->publish(info);
      }
      std::this_thread::sleep_for(5ms);
    }
  });

  velnor::FrustumDetector::PointMatrix cloud(3, 3);
  cloud << 1.0f, 2.0f, 3.0f, 0.1f, 0.2f, -0.1f, 0.5f, 0.6f, 0.7f;
  const CameraPose pose{0.0, 0.0, 0.5, 0.0};
  int cycles_with_all = 0;
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (cycles_with_all < 50 && std::chrono::steady_clock::now() < end) {
    manager.clear();
    size_t accepted = 0;
    for (auto & agent : agents) {
      accepted += agent->setInput(pose.transform(), {}, {&cloud}) ? 1 : 0;
    }
    const auto used = manager.getUsing();
    ASSERT_EQ(accepted, used.size());
    for (const auto & d : used) {
      ASSERT_TRUE(d->ready);
      ASSERT_EQ(1, d->input_cloud_count);
    }
    cycles_with_all += accepted == names.size() ? 1 : 0;
  }
  stop = true;
  camera_thread.join();
  cloud_thread.join();
  EXPECT_EQ(50, cycles_with_all);
  EXPECT_GT(frames_seen.load(), 0);
}

// A node that owns its frustum manager, as the depth-camera layer's node does.
class OwningNode : public rclcpp_lifecycle::LifecycleNode
{
public:
  OwningNode(const std::string & name, std::shared_ptr<std::promise<void>> destroyed)
      : rclcpp_lifecycle::LifecycleNode(name), destroyed_(std::move(destroyed))
  {
  }

  ~OwningNode() override
  {
    manager.reset();
    destroyed_->set_value();
  }

  std::unique_ptr<FrustumManager> manager;

private:
  std::shared_ptr<std::promise<void>> destroyed_;
};

TEST_F(FrustumManagerTest, NodeReleasedByTheFrustumThreadDestroysItsManagerSafely)
{
  auto destroyed = std::make_shared<std::promise<void>>();
  auto done = destroyed->get_future();
  auto owner = std::make_shared<OwningNode>("owner_" + std::to_string(counter), destroyed);
  owner->manager = std::make_unique<FrustumManager>(
      owner, std::vector<FrustumManager::Option>{option("cam", topic("cam"))}, 1.0);
  // While the thread waits for the camera it holds the node; after this it holds the last
  // reference, and drops it at the end of its pass.
  ASSERT_TRUE(waitUntil([&] { return subscribers("cam") > 0; }));
  owner.reset();
  EXPECT_EQ(std::future_status::ready, done.wait_for(kDeadline));
}

}  // namespace
