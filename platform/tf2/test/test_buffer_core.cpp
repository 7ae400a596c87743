#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/buffer_core.h"
#include "tf2/exceptions.h"
#include "tf2/utils.h"

namespace {

constexpr double kEps = 1e-9;

geometry_msgs::msg::TransformStamped makeTransform(
    const std::string & parent,
    const std::string & child,
    double stamp_sec,
    double x,
    double y,
    double z,
    double yaw = 0.0)
{
  geometry_msgs::msg::TransformStamped t;
  const tf2::TimePoint stamp = tf2::timeFromSec(stamp_sec);
  const auto ns = stamp.time_since_epoch().count();
  t.header.stamp.sec = static_cast<int32_t>(ns / 1000000000);
  t.header.stamp.nanosec = static_cast<uint32_t>(ns % 1000000000);
  t.header.frame_id = parent;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.translation.z = z;
  tf2::Quaternion q;
  q.setRPY(0, 0, yaw);
  t.transform.rotation.x = q.x();
  t.transform.rotation.y = q.y();
  t.transform.rotation.z = q.z();
  t.transform.rotation.w = q.w();
  return t;
}

double stampSec(const geometry_msgs::msg::TransformStamped & t)
{
  return t.header.stamp.sec + t.header.stamp.nanosec * 1e-9;
}

double yawOf(const geometry_msgs::msg::TransformStamped & t)
{
  tf2::Quaternion q(
      t.transform.rotation.x,
      t.transform.rotation.y,
      t.transform.rotation.z,
      t.transform.rotation.w);
  return tf2::getYaw(q);
}

class BufferCoreTest : public ::testing::Test
{
protected:
  void add(const geometry_msgs::msg::TransformStamped & t, bool is_static = false)
  {
    ASSERT_TRUE(buffer.setTransform(t, "test", is_static))
        << t.header.frame_id << " -> " << t.child_frame_id;
  }

  tf2::BufferCore buffer;
};

}  // namespace

// map -> odom -> base_link -> laser, plus base_link -> camera.
class BufferCoreChainTest : public BufferCoreTest
{
protected:
  void SetUp() override
  {
    add(makeTransform("map", "odom", 10.0, 1, 0, 0));
    add(makeTransform("odom", "base_link", 10.0, 0, 2, 0, M_PI / 2));
    add(makeTransform("base_link", "laser", 10.0, 0.5, 0, 0));
    add(makeTransform("base_link", "camera", 10.0, 0, 0, 1.0));
  }
};

TEST_F(BufferCoreChainTest, WalksUpThroughEveryLink)
{
  auto t = buffer.lookupTransform("map", "laser", tf2::timeFromSec(10.0));
  EXPECT_NEAR(1.0, t.transform.translation.x, kEps);
  EXPECT_NEAR(2.5, t.transform.translation.y, kEps);
  EXPECT_NEAR(0.0, t.transform.translation.z, kEps);
  EXPECT_NEAR(M_PI / 2, yawOf(t), kEps);
  EXPECT_EQ("map", t.header.frame_id);
  EXPECT_EQ("laser", t.child_frame_id);
  EXPECT_NEAR(10.0, stampSec(t), kEps);
}

TEST_F(BufferCoreChainTest, InverseDirectionIsTheInverseTransform)
{
  auto t = buffer.lookupTransform("laser", "map", tf2::timeFromSec(10.0));
  // map origin seen from the laser: undo +(1, 2.5) then the quarter turn.
  EXPECT_NEAR(-2.5, t.transform.translation.x, kEps);
  EXPECT_NEAR(1.0, t.transform.translation.y, kEps);
  EXPECT_NEAR(-M_PI / 2, yawOf(t), kEps);
}

TEST_F(BufferCoreChainTest, SiblingsMeetAtTheCommonAncestor)
{
  auto t = buffer.lookupTransform("laser", "camera", tf2::timeFromSec(10.0));
  EXPECT_NEAR(-0.5, t.transform.translation.x, kEps);
  EXPECT_NEAR(0.0, t.transform.translation.y, kEps);
  EXPECT_NEAR(1.0, t.transform.translation.z, kEps);
  EXPECT_TRUE(buffer.canTransform("camera", "odom", tf2::timeFromSec(10.0)));
}

TEST_F(BufferCoreChainTest, FixedFrameVariantChainsTwoLookups)
{
  add(makeTransform("map", "odom", 12.0, 3, 0, 0));
  add(makeTransform("odom", "base_link", 12.0, 0, 2, 0, M_PI / 2));
  add(makeTransform("base_link", "laser", 12.0, 0.5, 0, 0));
  // The laser at t=10 seen from the laser at t=12, through the map: odom moved +2 in x.
  auto t = buffer.lookupTransform(
      "laser", tf2::timeFromSec(12.0), "laser", tf2::timeFromSec(10.0), "map");
  EXPECT_NEAR(0.0, t.transform.translation.x, kEps);
  EXPECT_NEAR(2.0, t.transform.translation.y, kEps);
  // The message names the target and source frames and carries the target-side time.
  EXPECT_EQ("laser", t.header.frame_id);
  EXPECT_EQ("laser", t.child_frame_id);
  EXPECT_NEAR(12.0, stampSec(t), kEps);
  auto across = buffer.lookupTransform(
      "base_link", tf2::timeFromSec(12.0), "laser", tf2::timeFromSec(10.0), "odom");
  EXPECT_EQ("base_link", across.header.frame_id);
  EXPECT_EQ("laser", across.child_frame_id);
  EXPECT_TRUE(
      buffer.canTransform("laser", tf2::timeFromSec(12.0), "laser", tf2::timeFromSec(10.0), "map"));
  EXPECT_FALSE(
      buffer.canTransform("laser", tf2::timeFromSec(13.0), "laser", tf2::timeFromSec(10.0), "map"));
}

TEST_F(BufferCoreChainTest, FrameNames)
{
  auto names = buffer.getAllFrameNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"base_link", "camera", "laser", "map", "odom"}), names);
}

TEST_F(BufferCoreTest, InterpolatesTranslationLinearlyAndRotationBySlerp)
{
  add(makeTransform("odom", "base_link", 10.0, 0, 0, 0, 0.0));
  add(makeTransform("odom", "base_link", 12.0, 2, 4, 0, M_PI / 2));
  auto t = buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(11.5));
  EXPECT_NEAR(1.5, t.transform.translation.x, kEps);
  EXPECT_NEAR(3.0, t.transform.translation.y, kEps);
  EXPECT_NEAR(3 * M_PI / 8, yawOf(t), kEps);
  EXPECT_NEAR(11.5, stampSec(t), kEps);
  // Exact stamps give the stored data.
  EXPECT_NEAR(
      2.0,
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(12.0)).transform.translation.x,
      kEps);
}

TEST_F(BufferCoreTest, OutOfOrderInsertsAreSorted)
{
  add(makeTransform("odom", "base_link", 12.0, 2, 0, 0));
  add(makeTransform("odom", "base_link", 10.0, 0, 0, 0));
  add(makeTransform("odom", "base_link", 11.0, 5, 0, 0));
  EXPECT_NEAR(
      2.5,
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(10.5)).transform.translation.x,
      kEps);
  EXPECT_NEAR(
      3.5,
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(11.5)).transform.translation.x,
      kEps);
}

TEST_F(BufferCoreTest, TimesOutsideTheCacheExtrapolate)
{
  add(makeTransform("odom", "base_link", 10.0, 0, 0, 0));
  add(makeTransform("odom", "base_link", 12.0, 2, 0, 0));
  EXPECT_THROW(
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(12.5)),
      tf2::ExtrapolationException);
  EXPECT_THROW(
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(9.5)),
      tf2::ExtrapolationException);
  std::string error;
  EXPECT_FALSE(buffer.canTransform("odom", "base_link", tf2::timeFromSec(12.5), &error));
  EXPECT_NE(std::string::npos, error.find("extrapolation into the future")) << error;
}

TEST_F(BufferCoreTest, SingleSampleOnlyAtItsStamp)
{
  add(makeTransform("odom", "base_link", 10.0, 1, 0, 0));
  EXPECT_TRUE(buffer.canTransform("odom", "base_link", tf2::timeFromSec(10.0)));
  EXPECT_THROW(
      buffer.lookupTransform("odom", "base_link", tf2::timeFromSec(10.001)),
      tf2::ExtrapolationException);
}

TEST_F(BufferCoreTest, OldDataIsPrunedBehindTheNewest)
{
  tf2::BufferCore short_buffer(tf2::durationFromSec(5.0));
  ASSERT_TRUE(short_buffer.setTransform(makeTransform("odom", "base_link", 10.0, 0, 0, 0), "t"));
  ASSERT_TRUE(short_buffer.setTransform(makeTransform("odom", "base_link", 20.0, 1, 0, 0), "t"));
  EXPECT_FALSE(short_buffer.canTransform("odom", "base_link", tf2::timeFromSec(10.0)));
  EXPECT_TRUE(short_buffer.canTransform("odom", "base_link", tf2::timeFromSec(20.0)));
  // Older than newest − cache time: rejected.
  EXPECT_FALSE(short_buffer.setTransform(makeTransform("odom", "base_link", 14.0, 0, 0, 0), "t"));
}

TEST_F(BufferCoreTest, StaticTransformsHoldAtEveryTime)
{
  add(makeTransform("base_link", "laser", 0.0, 0.5, 0, 0), true);
  add(makeTransform("odom", "base_link", 100.0, 1, 0, 0));
  add(makeTransform("odom", "base_link", 101.0, 2, 0, 0));

  auto t = buffer.lookupTransform("base_link", "laser", tf2::timeFromSec(12345.0));
  EXPECT_NEAR(0.5, t.transform.translation.x, kEps);
  EXPECT_NEAR(12345.0, stampSec(t), 1e-6);

  EXPECT_NEAR(
      2.0,
      buffer.lookupTransform("odom", "laser", tf2::timeFromSec(100.5)).transform.translation.x,
      kEps);
  // The moving link still limits the chain.
  EXPECT_THROW(
      buffer.lookupTransform("odom", "laser", tf2::timeFromSec(50.0)), tf2::ExtrapolationException);
}

TEST_F(BufferCoreTest, ClearKeepsStaticTransforms)
{
  add(makeTransform("base_link", "laser", 0.0, 0.5, 0, 0), true);
  add(makeTransform("odom", "base_link", 10.0, 1, 0, 0));
  buffer.clear();
  EXPECT_TRUE(buffer.canTransform("base_link", "laser", tf2::timeFromSec(3.0)));
  EXPECT_FALSE(buffer.canTransform("odom", "base_link", tf2::timeFromSec(10.0)));
}

TEST_F(BufferCoreTest, LatestTimeIsTheNewestCommonStamp)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  add(makeTransform("map", "odom", 20.0, 10, 0, 0));
  add(makeTransform("odom", "base_link", 15.0, 0, 1, 0));
  add(makeTransform("odom", "base_link", 18.0, 0, 2, 0));
  add(makeTransform("base_link", "laser", 0.0, 0, 0, 1), true);

  auto t = buffer.lookupTransform("map", "base_link", tf2::TimePointZero);
  EXPECT_NEAR(18.0, stampSec(t), kEps);
  EXPECT_NEAR(8.0, t.transform.translation.x, kEps);
  EXPECT_NEAR(2.0, t.transform.translation.y, kEps);
  // A static link does not limit the latest common time.
  EXPECT_NEAR(18.0, stampSec(buffer.lookupTransform("map", "laser", tf2::TimePointZero)), kEps);
  // A single link: its newest stamp.
  EXPECT_NEAR(20.0, stampSec(buffer.lookupTransform("map", "odom", tf2::TimePointZero)), kEps);
  // A frame to itself at time 0: the frame's newest stamp.
  EXPECT_NEAR(
      18.0, stampSec(buffer.lookupTransform("base_link", "base_link", tf2::TimePointZero)), kEps);
}

TEST_F(BufferCoreTest, ParentChangeIsFollowed)
{
  add(makeTransform("odom", "base_link", 10.0, 1, 0, 0));
  add(makeTransform("map", "base_link", 11.0, 5, 0, 0));
  add(makeTransform("map", "odom", 11.0, 0, 0, 0));
  EXPECT_NEAR(
      5.0,
      buffer.lookupTransform("map", "base_link", tf2::TimePointZero).transform.translation.x,
      kEps);
}

TEST_F(BufferCoreTest, ErrorsAreClassified)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  add(makeTransform("world", "other", 10.0, 0, 0, 0));

  EXPECT_THROW(buffer.lookupTransform("map", "unknown", tf2::TimePointZero), tf2::LookupException);
  EXPECT_THROW(buffer.lookupTransform("unknown", "map", tf2::TimePointZero), tf2::LookupException);
  EXPECT_THROW(
      buffer.lookupTransform("map", "other", tf2::timeFromSec(10.0)), tf2::ConnectivityException);
  EXPECT_THROW(
      buffer.lookupTransform("map", "other", tf2::TimePointZero), tf2::ConnectivityException);
  EXPECT_THROW(
      buffer.lookupTransform("map", "", tf2::TimePointZero), tf2::InvalidArgumentException);
  EXPECT_THROW(
      buffer.lookupTransform("/map", "odom", tf2::TimePointZero), tf2::InvalidArgumentException);
  EXPECT_THROW(
      buffer.lookupTransform("map", "odom", tf2::timeFromSec(11.0)), tf2::ExtrapolationException);
  // Every one of them is a TransformException.
  EXPECT_THROW(buffer.lookupTransform("map", "other", tf2::TimePointZero), tf2::TransformException);

  std::string error;
  EXPECT_FALSE(buffer.canTransform("map", "unknown", tf2::TimePointZero, &error));
  EXPECT_NE(std::string::npos, error.find("frame does not exist")) << error;
  EXPECT_FALSE(buffer.canTransform("map", "other", tf2::TimePointZero, &error));
  EXPECT_NE(std::string::npos, error.find("not part of the same tree")) << error;
  // The same frame is always transformable, even when unknown.
  EXPECT_TRUE(buffer.canTransform("nowhere", "nowhere", tf2::TimePointZero));
}

TEST_F(BufferCoreTest, InvalidInputIsRejected)
{
  EXPECT_FALSE(buffer.setTransform(makeTransform("a", "a", 1.0, 0, 0, 0), "t"));
  EXPECT_FALSE(buffer.setTransform(makeTransform("a", "", 1.0, 0, 0, 0), "t"));
  EXPECT_FALSE(buffer.setTransform(makeTransform("", "b", 1.0, 0, 0, 0), "t"));
  EXPECT_FALSE(buffer.setTransform(makeTransform("a", "b", 1.0, NAN, 0, 0), "t"));
  auto zero_rotation = makeTransform("a", "b", 1.0, 0, 0, 0);
  zero_rotation.transform.rotation.w = 0.0;
  EXPECT_FALSE(buffer.setTransform(zero_rotation, "t"));
  EXPECT_FALSE(buffer.canTransform("a", "b", tf2::TimePointZero));
}

TEST_F(BufferCoreTest, LeadingSlashIsStrippedAndScaleNormalised)
{
  auto t = makeTransform("/map", "/odom", 1.0, 1, 0, 0, 0.5);
  t.transform.rotation.x *= 2;
  t.transform.rotation.y *= 2;
  t.transform.rotation.z *= 2;
  t.transform.rotation.w *= 2;
  add(t);
  auto out = buffer.lookupTransform("map", "odom", tf2::TimePointZero);
  EXPECT_NEAR(0.5, yawOf(out), kEps);
  const double norm = out.transform.rotation.x * out.transform.rotation.x +
                      out.transform.rotation.y * out.transform.rotation.y +
                      out.transform.rotation.z * out.transform.rotation.z +
                      out.transform.rotation.w * out.transform.rotation.w;
  EXPECT_NEAR(1.0, norm, kEps);
}

// a <-> b form a loop; r -> c is a sound branch beside it. All static, so any time resolves.
class BufferCoreLoopTest : public BufferCoreTest
{
protected:
  void SetUp() override
  {
    add(makeTransform("a", "b", 0.0, 1, 0, 0), true);
    add(makeTransform("b", "a", 0.0, 1, 0, 0), true);
    add(makeTransform("r", "c", 0.0, 1, 0, 0), true);
  }

  std::string loopMessage() const
  {
    return "The tf tree is invalid because it contains a loop.\n" + buffer.allFramesAsString() +
           "\n";
  }

  // The lookup must fail with a LookupException carrying the loop message.
  void expectLoop(const std::string & target, const std::string & source, tf2::TimePoint time)
  {
    try {
      buffer.lookupTransform(target, source, time);
      ADD_FAILURE() << "no exception for " << target << " <- " << source;
    } catch (const tf2::LookupException & e) {
      EXPECT_EQ(loopMessage(), e.what()) << target << " <- " << source;
    }
    std::string error;
    EXPECT_FALSE(buffer.canTransform(target, source, time, &error));
    EXPECT_EQ(loopMessage(), error) << target << " <- " << source;
  }
};

TEST_F(BufferCoreLoopTest, MessageListsEveryFrameWithItsParent)
{
  const std::string message = loopMessage();
  EXPECT_NE(std::string::npos, message.find("Frame a exists with parent b.\n")) << message;
  EXPECT_NE(std::string::npos, message.find("Frame b exists with parent a.\n")) << message;
  EXPECT_NE(std::string::npos, message.find("Frame c exists with parent r.\n")) << message;
}

TEST_F(BufferCoreLoopTest, SourceInTheLoopAtTheLatestTime)
{
  expectLoop("c", "a", tf2::TimePointZero);
}

TEST_F(BufferCoreLoopTest, TargetInTheLoopAtTheLatestTime)
{
  expectLoop("a", "c", tf2::TimePointZero);
}

TEST_F(BufferCoreLoopTest, SourceInTheLoopAtAGivenTime)
{
  expectLoop("c", "a", tf2::timeFromSec(5.0));
}

TEST_F(BufferCoreLoopTest, TargetInTheLoopAtAGivenTime)
{
  expectLoop("a", "c", tf2::timeFromSec(5.0));
}

// r -> s moves (stamps 10 and 20), r -> t is static: only s limits the time.
class BufferCoreLookupContextTest : public BufferCoreTest
{
protected:
  void SetUp() override
  {
    add(makeTransform("r", "s", 10.0, 1, 0, 0));
    add(makeTransform("r", "s", 20.0, 2, 0, 0));
    add(makeTransform("r", "t", 0.0, 0, 1, 0), true);
  }

  void expectExtrapolation(
      const std::string & target,
      const std::string & source,
      double time_sec,
      const std::string & expected)
  {
    try {
      buffer.lookupTransform(target, source, tf2::timeFromSec(time_sec));
      ADD_FAILURE() << "no exception for " << target << " <- " << source;
    } catch (const tf2::ExtrapolationException & e) {
      EXPECT_EQ(expected, e.what());
    }
    std::string error;
    EXPECT_FALSE(buffer.canTransform(target, source, tf2::timeFromSec(time_sec), &error));
    EXPECT_EQ(expected, error);
  }
};

TEST_F(BufferCoreLookupContextTest, SourceSideExtrapolationNamesBothFrames)
{
  expectExtrapolation(
      "t",
      "s",
      30.0,
      "Lookup would require extrapolation into the future.  Requested time 30.000000 but the "
      "latest data is at time 20.000000, when looking up transform from frame [s] to frame [t]");
  expectExtrapolation(
      "t",
      "s",
      5.0,
      "Lookup would require extrapolation into the past.  Requested time 5.000000 but the "
      "earliest data is at time 10.000000, when looking up transform from frame [s] to frame [t]");
}

TEST_F(BufferCoreLookupContextTest, TargetSideExtrapolationNamesBothFrames)
{
  expectExtrapolation(
      "s",
      "t",
      30.0,
      "Lookup would require extrapolation into the future.  Requested time 30.000000 but the "
      "latest data is at time 20.000000, when looking up transform from frame [t] to frame [s]");
  expectExtrapolation(
      "s",
      "t",
      5.0,
      "Lookup would require extrapolation into the past.  Requested time 5.000000 but the "
      "earliest data is at time 10.000000, when looking up transform from frame [t] to frame [s]");
}

TEST_F(BufferCoreLookupContextTest, ResolvableTimesStillResolve)
{
  auto t = buffer.lookupTransform("t", "s", tf2::timeFromSec(15.0));
  EXPECT_NEAR(1.5, t.transform.translation.x, kEps);
  EXPECT_NEAR(-1.0, t.transform.translation.y, kEps);
}

// Requests for a transform that is not yet available.
class TransformableRequestTest : public BufferCoreTest
{
protected:
  struct Call
  {
    tf2::TransformableRequestHandle handle;
    std::string target;
    std::string source;
    tf2::TimePoint time;
    tf2::TransformableResult result;
    std::thread::id thread;
  };

  tf2::BufferCore::TransformableCallback recorder()
  {
    return [this](
               tf2::TransformableRequestHandle handle,
               const std::string & target,
               const std::string & source,
               tf2::TimePoint time,
               tf2::TransformableResult result) {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back({handle, target, source, time, result, std::this_thread::get_id()});
    };
  }

  std::vector<Call> takeCalls()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }

  std::mutex mutex;
  std::vector<Call> calls;
};

TEST_F(TransformableRequestTest, AvailableNowReturnsZeroWithoutCallback)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  EXPECT_EQ(0u, buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(10.0)));
  EXPECT_EQ(0u, buffer.addTransformableRequest(recorder(), "x", "x", tf2::timeFromSec(10.0)));
  add(makeTransform("map", "odom", 11.0, 0, 0, 0));
  EXPECT_TRUE(takeCalls().empty());
}

TEST_F(TransformableRequestTest, TooOldReturnsAllOnes)
{
  add(makeTransform("map", "odom", 30.0, 0, 0, 0));
  EXPECT_EQ(
      0xFFFFFFFFFFFFFFFFULL,
      buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(19.0)));
}

TEST_F(TransformableRequestTest, CallbackRunsOnTheSetTransformThread)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  const auto handle =
      buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(11.0));
  ASSERT_NE(0u, handle);
  ASSERT_NE(0xFFFFFFFFFFFFFFFFULL, handle);
  EXPECT_TRUE(takeCalls().empty());

  std::thread::id feeder_id;
  std::thread feeder([this, &feeder_id]() {
    feeder_id = std::this_thread::get_id();
    buffer.setTransform(makeTransform("map", "odom", 12.0, 0, 0, 0), "feeder");
  });
  feeder.join();

  auto seen = takeCalls();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(handle, seen[0].handle);
  EXPECT_EQ("map", seen[0].target);
  EXPECT_EQ("odom", seen[0].source);
  EXPECT_EQ(tf2::timeFromSec(11.0), seen[0].time);
  EXPECT_EQ(tf2::TransformAvailable, seen[0].result);
  EXPECT_EQ(feeder_id, seen[0].thread);

  // One shot: later data does not call again.
  add(makeTransform("map", "odom", 13.0, 0, 0, 0));
  EXPECT_EQ(1u, takeCalls().size());
}

TEST_F(TransformableRequestTest, FramesUnknownAtRequestTimeAreResolvedLater)
{
  const auto handle =
      buffer.addTransformableRequest(recorder(), "map", "laser", tf2::timeFromSec(5.0));
  ASSERT_NE(0u, handle);
  add(makeTransform("map", "base_link", 5.0, 0, 0, 0));
  EXPECT_TRUE(takeCalls().empty());
  add(makeTransform("base_link", "laser", 0.0, 0, 0, 0), true);
  auto seen = takeCalls();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(tf2::TransformAvailable, seen[0].result);
  EXPECT_EQ("laser", seen[0].source);
}

TEST_F(TransformableRequestTest, DataPassingTheRequestByTheCacheTimeFails)
{
  add(makeTransform("map", "odom", 1.0, 0, 0, 0));
  const auto handle =
      buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(5.0));
  ASSERT_NE(0u, handle);
  add(makeTransform("map", "odom", 16.0, 0, 0, 0));
  auto seen = takeCalls();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(tf2::TransformFailure, seen[0].result);
}

TEST_F(TransformableRequestTest, CancelledRequestsNeverFire)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  const auto cancelled =
      buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(11.0));
  const auto kept =
      buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(11.5));
  ASSERT_NE(cancelled, kept);
  buffer.cancelTransformableRequest(cancelled);
  add(makeTransform("map", "odom", 12.0, 0, 0, 0));
  auto seen = takeCalls();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(kept, seen[0].handle);
}

TEST_F(TransformableRequestTest, SeveralRequestsReadyAtOnceAllFire)
{
  add(makeTransform("map", "odom", 10.0, 0, 0, 0));
  for (int i = 1; i <= 5; ++i) {
    ASSERT_NE(
        0u,
        buffer.addTransformableRequest(
            recorder(), "map", "odom", tf2::timeFromSec(10.0 + i * 0.1)));
  }
  ASSERT_NE(0u, buffer.addTransformableRequest(recorder(), "map", "odom", tf2::timeFromSec(30.0)));
  add(makeTransform("map", "odom", 11.0, 0, 0, 0));
  EXPECT_EQ(5u, takeCalls().size());
}

TEST(BufferCoreConcurrency, ReadersSeeConsistentDataWhileAWriterFeeds)
{
  tf2::BufferCore buffer;
  std::atomic<bool> done{false};
  std::thread writer([&]() {
    for (int i = 1; i <= 300; ++i) {
      // x equals the stamp in seconds, so any lookup can be checked.
      buffer.setTransform(makeTransform("odom", "base_link", i * 0.01, i * 0.01, 0, 0), "w");
    }
    done = true;
  });
  int checked = 0;
  while (!done || checked == 0) {
    try {
      auto t = buffer.lookupTransform("odom", "base_link", tf2::TimePointZero);
      EXPECT_NEAR(stampSec(t), t.transform.translation.x, 1e-6);
      ++checked;
    } catch (const tf2::TransformException &) {
      // Not yet any data.
    }
  }
  writer.join();
  EXPECT_GT(checked, 0);
}
