// The transform tree: one time cache per child frame, lookups through the common ancestor, and
// requests that fire when a transform becomes available.
#ifndef TF2__BUFFER_CORE_H_
#define TF2__BUFFER_CORE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/LinearMath/Transform.h"
#include "tf2/buffer_core_interface.h"
#include "tf2/exceptions.h"
#include "tf2/time_cache.h"
#include "tf2/transform_storage.h"
#include "tf2/visibility_control.h"

namespace tf2 {

typedef std::pair<TimePoint, CompactFrameID> P_TimeAndFrameID;
typedef uint32_t TransformableCallbackHandle;
typedef uint64_t TransformableRequestHandle;

enum TransformableResult
{
  TransformAvailable,
  TransformFailure,
};

constexpr tf2::Duration BUFFER_CORE_DEFAULT_CACHE_TIME = std::chrono::seconds(10);

/// Holds the transform tree of one process. Every child frame has one parent at a time and a
/// cache of its transforms over the last cache_time (static frames: one transform for all
/// times). Thread safe.
///
/// Lock order: transformable_requests_mutex_ before transformable_callbacks_mutex_ and before
/// frame_mutex_. Transformable callbacks run with both request mutexes held.
class BufferCore : public BufferCoreInterface
{
public:
  static const uint32_t MAX_GRAPH_DEPTH = 1000UL;

  using TransformableCallback = std::function<void(
      TransformableRequestHandle request_handle,
      const std::string & target_frame,
      const std::string & source_frame,
      TimePoint time,
      TransformableResult result)>;

  /// cache_time: how long moving transforms are kept behind the newest one of their frame.
  TF2_PUBLIC
  explicit BufferCore(tf2::Duration cache_time_ = BUFFER_CORE_DEFAULT_CACHE_TIME);

  TF2_PUBLIC
  virtual ~BufferCore(void);

  /// Drops all moving transforms; static ones stay.
  TF2_PUBLIC
  void clear() override;

  /// Adds one transform (leading '/' of the frame ids stripped). Rejects, with an error on the
  /// console, a frame equal to its child, empty frame ids, NaN values (a zero quaternion too;
  /// other quaternions are normalised) and data older than the cache keeps; returns false then.
  /// Afterwards pending transformable requests are re-tested and the ready ones' callbacks run on
  /// the calling thread.
  TF2_PUBLIC
  bool setTransform(
      const geometry_msgs::msg::TransformStamped & transform,
      const std::string & authority,
      bool is_static = false);

  TF2_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const TimePoint & time) const override;

  TF2_PUBLIC
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const TimePoint & target_time,
      const std::string & source_frame,
      const TimePoint & source_time,
      const std::string & fixed_frame) const override;

  TF2_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const TimePoint & time,
      std::string * error_msg = nullptr) const override;

  TF2_PUBLIC
  bool canTransform(
      const std::string & target_frame,
      const TimePoint & target_time,
      const std::string & source_frame,
      const TimePoint & source_time,
      const std::string & fixed_frame,
      std::string * error_msg = nullptr) const override;

  TF2_PUBLIC
  std::vector<std::string> getAllFrameNames() const override;

  TF2_PUBLIC
  std::string allFramesAsYAML(TimePoint current_time) const;

  TF2_PUBLIC
  std::string allFramesAsYAML() const;

  TF2_PUBLIC
  std::string allFramesAsString() const;

  /// Registers cb for the transform target_frame ← source_frame at `time`. Returns 0 when the
  /// transform is available now (cb is not called), 0xFFFFFFFFFFFFFFFF when `time` is older than
  /// the latest common time minus the cache time (cb is not called), otherwise a handle; cb then
  /// runs once, inside a later setTransform on that thread, with TransformAvailable or
  /// TransformFailure.
  TF2_PUBLIC
  TransformableRequestHandle addTransformableRequest(
      const TransformableCallback & cb,
      const std::string & target_frame,
      const std::string & source_frame,
      TimePoint time);

  TF2_PUBLIC
  void cancelTransformableRequest(TransformableRequestHandle handle);

  /// Declares that another thread feeds this buffer, which makes waiting lookups possible.
  TF2_PUBLIC
  void setUsingDedicatedThread(bool value) { using_dedicated_thread_ = value; }

  TF2_PUBLIC
  bool isUsingDedicatedThread() const { return using_dedicated_thread_; }

  TF2_PUBLIC
  bool _frameExists(const std::string & frame_id_str) const;

  TF2_PUBLIC
  bool _getParent(const std::string & frame_id, TimePoint time, std::string & parent) const;

  TF2_PUBLIC
  void _getFrameStrings(std::vector<std::string> & ids) const;

  TF2_PUBLIC
  CompactFrameID _lookupFrameNumber(const std::string & frameid_str) const;

protected:
  TF2_PUBLIC
  void lookupTransformImpl(
      const std::string & target_frame,
      const std::string & source_frame,
      const TimePoint & time_in,
      tf2::Transform & transform,
      TimePoint & time_out) const;

  TF2_PUBLIC
  void lookupTransformImpl(
      const std::string & target_frame,
      const TimePoint & target_time,
      const std::string & source_frame,
      const TimePoint & source_time,
      const std::string & fixed_frame,
      tf2::Transform & transform,
      TimePoint & time_out) const;

private:
  bool setTransformImpl(
      const tf2::Transform & transform_in,
      const std::string & frame_id,
      const std::string & child_frame_id,
      const TimePoint & stamp,
      const std::string & authority,
      bool is_static);

  std::string allFramesAsStringNoLock() const;

  // The members below are guarded by frame_mutex_.
  typedef std::vector<TimeCacheInterfacePtr> V_TimeCacheInterface;
  V_TimeCacheInterface frames_;
  mutable std::mutex frame_mutex_;
  typedef std::unordered_map<std::string, CompactFrameID> M_StringToCompactFrameID;
  M_StringToCompactFrameID frameIDs_;
  std::vector<std::string> frameIDs_reverse_;
  std::map<CompactFrameID, std::string> frame_authority_;

  tf2::Duration cache_time_;

  typedef std::unordered_map<TransformableCallbackHandle, TransformableCallback>
      M_TransformableCallback;
  M_TransformableCallback transformable_callbacks_;
  uint32_t transformable_callbacks_counter_;
  std::mutex transformable_callbacks_mutex_;

  struct TransformableRequest
  {
    TimePoint time;
    TransformableRequestHandle request_handle;
    TransformableCallbackHandle cb_handle;
    CompactFrameID target_id;
    CompactFrameID source_id;
    std::string target_string;
    std::string source_string;
  };
  typedef std::vector<TransformableRequest> V_TransformableRequest;
  V_TransformableRequest transformable_requests_;
  std::mutex transformable_requests_mutex_;
  uint64_t transformable_requests_counter_;

  std::atomic<bool> using_dedicated_thread_;

  // Helpers below expect frame_mutex_ to be held.
  TimeCacheInterfacePtr getFrame(CompactFrameID c_frame_id) const;
  TimeCacheInterfacePtr allocateFrame(CompactFrameID cfid, bool is_static);
  CompactFrameID validateFrameId(
      const char * function_name_arg, const std::string & frame_id, std::string * error_msg) const;
  CompactFrameID validateFrameId(
      const char * function_name_arg, const std::string & frame_id) const;
  CompactFrameID lookupFrameNumber(const std::string & frameid_str) const;
  CompactFrameID lookupOrInsertFrameNumber(const std::string & frameid_str);
  const std::string & lookupFrameString(CompactFrameID frame_id_num) const;
  void createConnectivityErrorString(
      CompactFrameID source_frame, CompactFrameID target_frame, std::string * out) const;
  tf2::TF2Error getLatestCommonTime(
      CompactFrameID target_frame,
      CompactFrameID source_frame,
      TimePoint & time,
      std::string * error_string) const;
  template <typename F>
  tf2::TF2Error walkToTopParent(
      F & f,
      TimePoint time,
      CompactFrameID target_id,
      CompactFrameID source_id,
      std::string * error_string) const;
  // Takes frame_mutex_ itself.
  bool canTransformInternal(
      CompactFrameID target_id,
      CompactFrameID source_id,
      const TimePoint & time,
      std::string * error_msg) const;
  bool canTransformNoLock(
      CompactFrameID target_id,
      CompactFrameID source_id,
      const TimePoint & time,
      std::string * error_msg) const;
  void testTransformableRequests();
};

}  // namespace tf2

#endif  // TF2__BUFFER_CORE_H_
