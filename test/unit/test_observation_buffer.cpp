#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_velnor/frustum_agent.hpp"
#include "brindlex_velnor/frustum_manager.hpp"
#include "brindlex_velnor/observation_buffer.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "semantic_cloud_builder.hpp"
#include "spdlog/fmt/fmt.h"
#include "tf2/exceptions.h"
#include "tf2_ros/buffer.h"
#include "velnor_test_helpers.hpp"

namespace {

using namespace std::chrono_literals;
using brindlex_protocol::msg::SemanticPointCloud;
using velnor::ObservationBuffer;
using velnor_test::LogCapture;
using velnor_test::waitUntil;
using velnor_test::makeElement;
using velnor_test::Point3;
using SF = semantic_map::SemanticFlags;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int64_t kSecond = 1000000000LL;

geometry_msgs::msg::TransformStamped transformToMap(
    const std::string & child, double x, double y, double z, double yaw, int32_t sec = 0)
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = "map";
  t.header.stamp.sec = sec;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.translation.z = z;
  t.transform.rotation.z = std::sin(yaw / 2.0);
  t.transform.rotation.w = std::cos(yaw / 2.0);
  return t;
}

// "base" sits at (1, 2, 0.5) in "map", turned by 90 degrees: (x, y, z) -> (1 - y, 2 + x, 0.5 + z).
Point3 baseToMap(const Point3 & p) { return {1.0f - p[1], 2.0f + p[0], 0.5f + p[2]}; }

class ObservationBufferTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    LogCapture::instance().clear();
    ASSERT_EQ(RCL_RET_OK, rcl_enable_ros_time_override(clock->get_clock_handle()));
    setNow(100 * kSecond);
    // As with a node's transform listener; the lookups here never wait (tolerance 0).
    tf.setUsingDedicatedThread(true);
    tf.setTransform(transformToMap("base", 1.0, 2.0, 0.5, M_PI / 2.0), "test", true);
  }

  void setNow(int64_t ns) { rcl_set_ros_time_override(clock->get_clock_handle(), ns); }

  std::unique_ptr<ObservationBuffer> makeBuffer(
      double keep_time = 0.0,
      int32_t check_hz = 0,
      std::shared_ptr<velnor::FrustumAgent> agent = nullptr)
  {
    ObservationBuffer::Option option;
    option.name = "front_cam";
    option.observation_keep_time = keep_time;
    option.check_hz = check_hz;
    return std::make_unique<ObservationBuffer>(
        option, "map", tf, 0.0, clock, rclcpp::get_logger("test"), std::move(agent));
  }

  static SemanticPointCloud cloud(
      int64_t stamp_ns,
      std::vector<brindlex_protocol::msg::SemanticCloud> elements = {},
      const std::string & frame = "base")
  {
    SemanticPointCloud message;
    message.header.frame_id = frame;
    message.header.stamp.sec = static_cast<int32_t>(stamp_ns / kSecond);
    message.header.stamp.nanosec = static_cast<uint32_t>(stamp_ns % kSecond);
    message.semantic_clouds = std::move(elements);
    return message;
  }

  static void expectPoints(const std::vector<Point3> & expected, const velnor::PointMatrix & points)
  {
    ASSERT_EQ(static_cast<Eigen::Index>(expected.size()), points.cols());
    for (size_t i = 0; i < expected.size(); ++i) {
      for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(expected[i][r], points(r, static_cast<Eigen::Index>(i)), 1e-5)
            << "point " << i << " row " << r;
      }
    }
  }

  std::shared_ptr<rclcpp::Clock> clock = std::make_shared<rclcpp::Clock>(RCL_ROS_TIME);
  // The transforms live on a clock of their own, so that moving the buffer's clock back does not
  // touch them.
  tf2_ros::Buffer tf{std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)};
};

TEST_F(ObservationBufferTest, PointsOutsideTheBandOrNotFiniteAreDropped)
{
  struct Case
  {
    const char * what;
    Point3 point;
    bool kept;
  };
  // The default band is [-0.5, 2.0] m, tested on z in the cloud frame.
  const std::vector<Case> cases = {
      {"inside", {0.5f, -1.0f, 0.3f}, true},
      {"z at the lower bound", {1.0f, 1.0f, -0.5f}, true},
      {"z at the upper bound", {-2.0f, 0.25f, 2.0f}, true},
      {"z below", {0.0f, 0.0f, -0.51f}, false},
      {"z above", {0.0f, 0.0f, 2.01f}, false},
      {"x NaN", {kNaN, 0.0f, 0.0f}, false},
      {"y infinite", {0.0f, kInf, 0.0f}, false},
      {"x minus infinite", {-kInf, 0.0f, 0.0f}, false},
      {"z NaN", {0.0f, 0.0f, kNaN}, false},
      {"z infinite", {0.0f, 0.0f, kInf}, false},
      {"z minus infinite", {0.0f, 0.0f, -kInf}, false},
      {"large but finite", {3000.0f, -4000.0f, 1.5f}, true},
  };
  std::vector<Point3> input;
  std::vector<Point3> expected;
  for (const auto & c : cases) {
    input.push_back(c.point);
    if (c.kept) {
      expected.push_back(baseToMap(c.point));
    }
  }
  auto buffer = makeBuffer();
  ASSERT_TRUE(buffer->bufferCloud(cloud(100 * kSecond, {makeElement(201, input)})));
  const auto & unit = buffer->getBufferedObservations().front().units.at(0);
  expectPoints(expected, unit.points);
  // The edge spans the kept points only: x from (1, 1, -0.5) to (3000, -4000, 1.5), y from
  // (-2, 0.25, 2) to (3000, -4000, 1.5).
  EXPECT_FLOAT_EQ(0.0f, unit.min_x);
  EXPECT_FLOAT_EQ(4001.0f, unit.max_x);
  EXPECT_FLOAT_EQ(0.0f, unit.min_y);
  EXPECT_FLOAT_EQ(3002.0f, unit.max_y);
}

TEST_F(ObservationBufferTest, EveryElementYieldsAUnitInOrder)
{
  struct Case
  {
    const char * what;
    brindlex_protocol::msg::SemanticCloud element;
    semantic_map::SemanticType type;
    std::vector<Point3> points;  ///< cloud frame
  };
  auto organised = makeElement(3, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, false, 2);
  // Bytes of a fifth point beyond height x width are not read.
  organised.points.data.resize(organised.points.data.size() + 2 * organised.points.point_step, 0);
  brindlex_protocol::msg::SemanticCloud no_data;
  no_data.semantic_id = -7;
  const std::vector<Case> cases = {
      {"chair with flag",
       makeElement(201, {{0.5f, 0.5f, 0.0f}}, true),
       SF::CHAIR,
       {{0.5f, 0.5f, 0.0f}}},
      {"code 0, every point dropped", makeElement(0, {{0, 0, 5.0f}, {kNaN, 0, 0}}), SF::EMPTY, {}},
      {"negative unknown code, no data", no_data, SF::STATIC, {}},
      {"organised 2 x 2 with surplus bytes",
       organised,
       SF::DYNAMIC,
       {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}},
      {"unknown code", makeElement(999, {}), SF::STATIC, {}},
  };
  std::vector<brindlex_protocol::msg::SemanticCloud> elements;
  for (const auto & c : cases) {
    elements.push_back(c.element);
  }
  auto buffer = makeBuffer();
  ASSERT_TRUE(buffer->bufferCloud(cloud(100 * kSecond + 250, elements)));
  const auto & observation = buffer->getBufferedObservations().front();
  EXPECT_EQ(100, observation.stamp.sec);
  EXPECT_EQ(250u, observation.stamp.nanosec);
  EXPECT_EQ("map", observation.frame);
  ASSERT_EQ(cases.size(), observation.units.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    const auto & unit = observation.units[i];
    EXPECT_EQ(cases[i].type, unit.type);
    EXPECT_EQ(cases[i].element.flag, unit.flag);
    std::vector<Point3> expected;
    for (const auto & p : cases[i].points) {
      expected.push_back(baseToMap(p));
    }
    expectPoints(expected, unit.points);
    if (expected.empty()) {
      EXPECT_EQ(0.0f, unit.min_x);
      EXPECT_EQ(0.0f, unit.min_y);
      EXPECT_EQ(0.0f, unit.max_x);
      EXPECT_EQ(0.0f, unit.max_y);
    }
  }

  // A message without elements is still an observation.
  ASSERT_TRUE(buffer->bufferCloud(cloud(100 * kSecond)));
  EXPECT_TRUE(buffer->getBufferedObservations().front().units.empty());
}

// A refused cloud (empty frame, malformed element, failed lookup) leaves the buffer and its rate
// window as they were, and says why.
TEST_F(ObservationBufferTest, RefusedCloudChangesNothing)
{
  using sensor_msgs::msg::PointCloud2;
  std::string lookup_error;
  try {
    tf.lookupTransform("map", "nowhere", tf2::TimePoint(std::chrono::seconds(101)));
  } catch (const tf2::TransformException & e) {
    lookup_error = e.what();
  }
  ASSERT_FALSE(lookup_error.empty());
  const std::string malformed =
      "ObservationBuffer front_cam: cloud of frame base refused, semantic_clouds[1] ";
  constexpr auto kError = spdlog::level::err;
  struct Case
  {
    const char * what;
    std::function<void(PointCloud2 &)> spoil;  ///< applied to the second element; null: none
    std::string frame;
    spdlog::level::level_enum level;
    std::string text;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"empty frame", nullptr, "", spdlog::level::warn, "Warning: Pointcloud's frame_id is empty!"},
      {"failed lookup", nullptr, "nowhere", kError, fmt::format(
           "TF Exception that should never happen for global frame: map, cloud frame: nowhere, {}, "
           "error code is 101100016", lookup_error)},
      {"data one byte short", [](PointCloud2 & c) { c.data.pop_back(); }, "base", kError,
       malformed + "data holds 47 bytes, 3 points of 16 bytes need 48"},
      {"x beyond the point", [](PointCloud2 & c) { c.fields[0].offset = 13; }, "base", kError,
       malformed + "field \"x\" at offset 13 (+4 bytes) lies outside point_step 16"},
      {"z beyond a short point", [](PointCloud2 & c) { c.point_step = 10; }, "base", kError,
       malformed + "field \"z\" at offset 8 (+4 bytes) lies outside point_step 10"},
      {"point_step 0", [](PointCloud2 & c) { c.point_step = 0; }, "base", kError,
       malformed + "field \"x\" at offset 0 (+4 bytes) lies outside point_step 0"},
      {"no y", [](PointCloud2 & c) { c.fields.erase(c.fields.begin() + 1); }, "base", kError,
       malformed + "has no field \"y\""},
      {"no fields at all", [](PointCloud2 & c) { c.fields.clear(); }, "base", kError,
       malformed + "has no field \"x\""},
      {"point count overflows", [](PointCloud2 & c) { c.height = 65536; c.width = 65536; }, "base",
       kError, malformed + "height 65536 x width 65536 overflows 32 bits"},
      {"byte size overflows", [](PointCloud2 & c) { c.height = 2; c.width = 0x10000000; }, "base",
       kError, malformed + "height 2 x width 268435456 x point_step 16 overflows 32 bits"},
  };
  // clang-format on
  for (const auto & c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture::instance().clear();
    setNow(100 * kSecond);
    auto buffer = makeBuffer(10.0, 1);
    ASSERT_TRUE(buffer->bufferCloud(cloud(100 * kSecond, {makeElement(2, {{0, 0, 0}})})));

    setNow(101 * kSecond);
    std::vector<brindlex_protocol::msg::SemanticCloud> elements = {makeElement(2, {{1, 1, 1}})};
    if (c.spoil) {
      elements.push_back(makeElement(3, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));
      c.spoil(elements.back().points);
    }
    EXPECT_FALSE(buffer->bufferCloud(cloud(101 * kSecond, elements, c.frame)));
    EXPECT_EQ(1u, LogCapture::instance().count(c.level, c.text));
    ASSERT_EQ(1u, buffer->getBufferedObservations().size());
    EXPECT_EQ(100, buffer->getBufferedObservations().front().stamp.sec);
    EXPECT_EQ(100 * kSecond, buffer->getLastUpdated().nanoseconds());
    EXPECT_DOUBLE_EQ(0.0, buffer->getMeasuredRate());

    // The rate window still holds only the first arrival.
    setNow(102 * kSecond);
    ASSERT_TRUE(buffer->bufferCloud(cloud(102 * kSecond)));
    EXPECT_DOUBLE_EQ(0.5, buffer->getMeasuredRate());
    EXPECT_EQ(2u, buffer->getBufferedObservations().size());
  }
}

TEST_F(ObservationBufferTest, RateWindow)
{
  constexpr double kSkip = -99.0;
  struct Arrival
  {
    int64_t at_ms;
    double rate;  ///< expected after the store; kSkip: not checked
    bool reset_first = false;
  };
  struct Case
  {
    const char * what;
    int32_t check_hz;
    std::vector<Arrival> arrivals;
  };
  std::vector<Arrival> steady;
  for (int i = 1; i <= 250; ++i) {
    const bool checked = i == 99 || i == 100 || i == 101 || i == 250;
    steady.push_back({100000 + 100 * i, checked ? 10.0 : kSkip});
  }
  const std::vector<Case> cases = {
      {"first, then half a second later", 1, {{100000, 0.0}, {100500, 2.0}}},
      {"every 0.1 s, before and after the ring wraps", 5, steady},
      {"clock going back restarts the window",
       1,
       {{100000, 0.0}, {100100, 10.0}, {95000, 0.0}, {95250, 4.0}}},
      {"same clock time twice", 1, {{100000, 0.0}, {100000, kInf}}},
      {"restart keeps nothing of the old window",
       1,
       {{100000, 0.0}, {100200, 5.0}, {300000, 0.0, true}, {301000, 1.0}}},
      {"no rate check", 0, {{100000, -1.0}, {100500, -1.0}}},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.what);
    auto buffer = makeBuffer(0.0, c.check_hz);
    EXPECT_DOUBLE_EQ(-1.0, buffer->getMeasuredRate());
    for (size_t i = 0; i < c.arrivals.size(); ++i) {
      const auto & arrival = c.arrivals[i];
      if (arrival.reset_first) {
        buffer->resetRateWindow();
        EXPECT_DOUBLE_EQ(-1.0, buffer->getMeasuredRate());
      }
      setNow(arrival.at_ms * 1000000LL);
      ASSERT_TRUE(buffer->bufferCloud(cloud(arrival.at_ms * 1000000LL)));
      EXPECT_EQ(arrival.at_ms * 1000000LL, buffer->getLastUpdated().nanoseconds());
      if (arrival.rate != kSkip) {
        EXPECT_DOUBLE_EQ(arrival.rate, buffer->getMeasuredRate()) << "arrival " << i;
      }
    }
  }
}

TEST_F(ObservationBufferTest, ObservationsArePurgedByAge)
{
  struct Store
  {
    int64_t now_ms;
    int64_t stamp_ms;
  };
  struct Case
  {
    const char * what;
    double keep_time;
    std::vector<Store> stores;
    int64_t gather_at_ms;
    std::vector<int64_t> kept_ms;  ///< stamps that getObservations returns, newest first
  };
  const std::vector<Case> cases = {
      {"keep time 0 keeps the newest",
       0.0,
       {{100000, 90000}, {100100, 99000}, {100200, 50000}},
       200000,
       {50000}},
      {"1 s: 0.5 s old stays, 1.5 s old goes",
       1.0,
       {{98600, 98500}, {99600, 99500}},
       100000,
       {99500}},
      {"1 s: exactly the keep time stays", 1.0, {{98600, 98500}, {99600, 99500}}, 100500, {99500}},
      {"both young, newest first", 1.0, {{99600, 99800}, {99700, 99900}}, 100000, {99900, 99800}},
      {"an old newest stamp takes the younger ones with it",
       1.0,
       {{99000, 99000}, {99100, 97000}},
       99100,
       {}},
      {"stored already too old", 1.0, {{100000, 97000}}, 100000, {}},
      {"a stamp before the epoch", 1.0, {{100000, -1500}}, 100000, {}},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.what);
    auto buffer = makeBuffer(c.keep_time);
    for (const auto & store : c.stores) {
      setNow(store.now_ms * 1000000LL);
      ASSERT_TRUE(buffer->bufferCloud(cloud(store.stamp_ms * 1000000LL)));
      if (c.keep_time == 0.0) {
        EXPECT_EQ(1u, buffer->getBufferedObservations().size());
      }
    }
    setNow(c.gather_at_ms * 1000000LL);
    // Twice into one vector: the second call appends the same observations again.
    std::vector<velnor::Observation> gathered(1);
    buffer->getObservations(gathered);
    buffer->getObservations(gathered);
    ASSERT_EQ(1 + 2 * c.kept_ms.size(), gathered.size());
    for (size_t i = 0; i < c.kept_ms.size(); ++i) {
      for (size_t round = 0; round < 2; ++round) {
        const auto & stamp = gathered[1 + round * c.kept_ms.size() + i].stamp;
        EXPECT_EQ(
            c.kept_ms[i] * 1000000LL, static_cast<int64_t>(stamp.sec) * kSecond + stamp.nanosec);
      }
    }
  }
}

TEST_F(ObservationBufferTest, FrustumAgentGetsTheCameraPoseOutlineAndPoints)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("buffer_frustum_owner");
  auto driver = std::make_shared<rclcpp::Node>("buffer_camera_driver");
  velnor::FrustumManager::Option frustum;
  frustum.name = "cam";
  frustum.camera_info_topic = "/buffer_test/camera_info";
  frustum.min_view_distance = 0.5;
  frustum.max_view_distance = 3.0;
  frustum.theta_resolution = 0.1;
  frustum.r_resolution = 0.25;
  velnor::FrustumManager manager(node, {frustum});
  auto agent = manager.registerAgent("cam");
  ASSERT_NE(nullptr, agent);
  auto publisher =
      driver->create_publisher<sensor_msgs::msg::CameraInfo>(frustum.camera_info_topic, 10);
  std::string frame;
  ASSERT_TRUE(waitUntil([&] {
    publisher->publish(velnor_test::makeCameraInfo());
    return agent->getFrameId(frame);
  }));
  ASSERT_EQ("camera_optical", frame);

  auto buffer = makeBuffer(10.0, 0, agent);
  // Nothing buffered: the agent is fed all the same, with the initial pose and no clouds.
  manager.clear();
  std::vector<velnor::Observation> gathered;
  buffer->getObservations(gathered);
  EXPECT_TRUE(gathered.empty());
  ASSERT_EQ(1u, manager.getUsing().size());
  EXPECT_EQ(0, manager.getUsing()[0]->input_cloud_count);
  EXPECT_EQ(1.0, buffer->getCameraTransform().transform.rotation.w);
  EXPECT_TRUE(buffer->getPolygon().points.empty());

  // The camera pose is known at 100 s only.
  const auto camera = transformToMap("camera_optical", 3.0, 4.0, 0.8, 0.0, 100);
  tf.setTransform(camera, "test", false);
  auto message = cloud(100 * kSecond, {makeElement(2, {{0, 0, 0}, {1, 0, 0}}), makeElement(0, {})});
  message.polygon.points.resize(2);
  message.polygon.points[0].x = 1.0f;
  message.polygon.points[1].y = -2.0f;
  message.polygon.points[1].z = 0.25f;
  ASSERT_TRUE(buffer->bufferCloud(message));
  EXPECT_EQ(camera.transform, buffer->getCameraTransform().transform);
  EXPECT_EQ(camera.child_frame_id, buffer->getCameraTransform().child_frame_id);
  EXPECT_EQ(100, buffer->getCameraTransform().header.stamp.sec);
  // The outline is moved by the cloud's transform, not the camera's.
  ASSERT_EQ(2u, buffer->getPolygon().points.size());
  const Point3 v0 = baseToMap({1.0f, 0.0f, 0.0f});
  const Point3 v1 = baseToMap({0.0f, -2.0f, 0.25f});
  EXPECT_NEAR(v0[0], buffer->getPolygon().points[0].x, 1e-5);
  EXPECT_NEAR(v0[1], buffer->getPolygon().points[0].y, 1e-5);
  EXPECT_NEAR(v1[0], buffer->getPolygon().points[1].x, 1e-5);
  EXPECT_NEAR(v1[2], buffer->getPolygon().points[1].z, 1e-5);

  // A failed camera lookup or a malformed element replaces neither pose nor outline.
  auto later = message;
  later.header.stamp.sec = 102;
  later.polygon.points[0].x = 9.0f;
  setNow(102 * kSecond);
  EXPECT_FALSE(buffer->bufferCloud(later));
  later.header.stamp.sec = 100;
  later.semantic_clouds[1].points.height = 1;
  later.semantic_clouds[1].points.width = 1;
  EXPECT_FALSE(buffer->bufferCloud(later));
  EXPECT_EQ(100, buffer->getCameraTransform().header.stamp.sec);
  EXPECT_NEAR(v0[0], buffer->getPolygon().points[0].x, 1e-5);
  EXPECT_EQ(1u, buffer->getBufferedObservations().size());

  // Every unit of every observation reaches the detector, posed by the camera transform.
  manager.clear();
  buffer->getObservations(gathered);
  ASSERT_EQ(1u, gathered.size());
  const auto used = manager.getUsing();
  ASSERT_EQ(1u, used.size());
  EXPECT_EQ(2, used[0]->input_cloud_count);
  EXPECT_EQ(100 * kSecond, used[0]->stamp.nanoseconds());
  EXPECT_FLOAT_EQ(3.0f, used[0]->translation[0]);
  EXPECT_FLOAT_EQ(4.0f, used[0]->translation[1]);
}

}  // namespace
