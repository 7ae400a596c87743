#include "tf2/buffer_core.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "console_bridge/console.h"

namespace tf2 {

namespace {

// Tolerance on |q|² − 1 for an incoming rotation.
constexpr double QUATERNION_NORMALIZATION_TOLERANCE = 10e-3;

bool startsWithSlash(const std::string & frame_id)
{
  return !frame_id.empty() && frame_id[0] == '/';
}

std::string stripSlash(const std::string & in)
{
  std::string out = in;
  if (startsWithSlash(in)) {
    out.erase(0, 1);
  }
  return out;
}

void fillOrWarnMessageForInvalidFrame(
    const char * function_name_arg,
    const std::string & frame_id,
    std::string * error_msg,
    const char * rationale)
{
  std::string s =
      "Invalid frame ID \"" + frame_id + "\" passed to " + function_name_arg + " - " + rationale;
  if (error_msg != nullptr) {
    *error_msg = s;
  } else {
    CONSOLE_BRIDGE_logWarn("%s", s.c_str());
  }
}

void toMsgStamp(const TimePoint & time, builtin_interfaces::msg::Time & stamp)
{
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch());
  const auto s = std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch());
  stamp.sec = static_cast<int32_t>(s.count());
  stamp.nanosec = static_cast<uint32_t>(ns.count() % 1000000000ull);
}

enum WalkEnding
{
  Identity,
  TargetParentOfSource,
  SourceParentOfTarget,
  FullPath,
};

// Accumulates the transforms from source and target up to their common ancestor.
struct TransformAccum
{
  TransformAccum()
      : source_to_top_quat(0.0, 0.0, 0.0, 1.0),
        source_to_top_vec(0.0, 0.0, 0.0),
        target_to_top_quat(0.0, 0.0, 0.0, 1.0),
        target_to_top_vec(0.0, 0.0, 0.0),
        result_quat(0.0, 0.0, 0.0, 1.0),
        result_vec(0.0, 0.0, 0.0)
  {
  }

  CompactFrameID gather(TimeCacheInterfacePtr cache, TimePoint time, std::string * error_string)
  {
    if (!cache->getData(time, st, error_string)) {
      return 0;
    }
    return st.frame_id_;
  }

  void accum(bool source)
  {
    if (source) {
      source_to_top_vec = quatRotate(st.rotation_, source_to_top_vec) + st.translation_;
      source_to_top_quat = st.rotation_ * source_to_top_quat;
    } else {
      target_to_top_vec = quatRotate(st.rotation_, target_to_top_vec) + st.translation_;
      target_to_top_quat = st.rotation_ * target_to_top_quat;
    }
  }

  void finalize(WalkEnding end, TimePoint _time)
  {
    switch (end) {
      case Identity:
        break;
      case TargetParentOfSource:
        result_vec = source_to_top_vec;
        result_quat = source_to_top_quat;
        break;
      case SourceParentOfTarget: {
        tf2::Quaternion inv_target_quat = target_to_top_quat.inverse();
        result_vec = quatRotate(inv_target_quat, -target_to_top_vec);
        result_quat = inv_target_quat;
        break;
      }
      case FullPath: {
        tf2::Quaternion inv_target_quat = target_to_top_quat.inverse();
        tf2::Vector3 inv_target_vec = quatRotate(inv_target_quat, -target_to_top_vec);
        result_vec = quatRotate(inv_target_quat, source_to_top_vec) + inv_target_vec;
        result_quat = inv_target_quat * source_to_top_quat;
        break;
      }
    }
    time = _time;
  }

  TransformStorage st;
  TimePoint time;
  tf2::Quaternion source_to_top_quat;
  tf2::Vector3 source_to_top_vec;
  tf2::Quaternion target_to_top_quat;
  tf2::Vector3 target_to_top_vec;
  tf2::Quaternion result_quat;
  tf2::Vector3 result_vec;
};

// Only checks that every link exists at the time.
struct CanTransformAccum
{
  CompactFrameID gather(TimeCacheInterfacePtr cache, TimePoint time, std::string * error_string)
  {
    return cache->getParent(time, error_string);
  }
  void accum(bool) {}
  void finalize(WalkEnding, TimePoint) {}
};

[[noreturn]] void throwForError(tf2::TF2Error error, const std::string & error_string)
{
  switch (error) {
    case tf2::TF2Error::TF2_CONNECTIVITY_ERROR:
      throw ConnectivityException(error_string);
    case tf2::TF2Error::TF2_EXTRAPOLATION_ERROR:
      throw ExtrapolationException(error_string);
    case tf2::TF2Error::TF2_LOOKUP_ERROR:
      throw LookupException(error_string);
    default:
      throw TransformException(error_string);
  }
}

// The result of a lookup as a message: the transform from source_frame into target_frame.
geometry_msgs::msg::TransformStamped toTransformStamped(
    const tf2::Transform & transform,
    const TimePoint & time,
    const std::string & target_frame,
    const std::string & source_frame)
{
  geometry_msgs::msg::TransformStamped msg;
  msg.transform.translation.x = transform.getOrigin().x();
  msg.transform.translation.y = transform.getOrigin().y();
  msg.transform.translation.z = transform.getOrigin().z();
  const tf2::Quaternion q = transform.getRotation();
  msg.transform.rotation.x = q.x();
  msg.transform.rotation.y = q.y();
  msg.transform.rotation.z = q.z();
  msg.transform.rotation.w = q.w();
  toMsgStamp(time, msg.header.stamp);
  msg.header.frame_id = target_frame;
  msg.child_frame_id = source_frame;
  return msg;
}

// Ends a walk that went past MAX_GRAPH_DEPTH: the tree has a loop.
tf2::TF2Error loopError(std::string * error_string, const std::string & all_frames)
{
  if (error_string) {
    std::stringstream ss;
    ss << "The tf tree is invalid because it contains a loop." << std::endl
       << all_frames << std::endl;
    *error_string = ss.str();
  }
  return tf2::TF2Error::TF2_LOOKUP_ERROR;
}

// The oldest of the latest stamps met on a walk; zero when every link was static (no stamp).
TimePoint latestOrZero(TimePoint common_time)
{
  return common_time == TimePoint::max() ? TimePointZero : common_time;
}

std::string withLookupContext(
    const std::string & error, const std::string & source_frame, const std::string & target_frame)
{
  std::stringstream ss;
  ss << error << ", when looking up transform from frame [" << source_frame << "] to frame ["
     << target_frame << "]";
  return ss.str();
}

}  // namespace

CompactFrameID BufferCore::validateFrameId(
    const char * function_name_arg, const std::string & frame_id, std::string * error_msg) const
{
  if (frame_id.empty()) {
    fillOrWarnMessageForInvalidFrame(
        function_name_arg, frame_id, error_msg, "in tf2 frame_ids cannot be empty");
    return 0;
  }
  if (startsWithSlash(frame_id)) {
    fillOrWarnMessageForInvalidFrame(
        function_name_arg, frame_id, error_msg, "in tf2 frame_ids cannot start with a '/'");
    return 0;
  }
  CompactFrameID id = lookupFrameNumber(frame_id);
  if (id == 0) {
    fillOrWarnMessageForInvalidFrame(
        function_name_arg, frame_id, error_msg, "frame does not exist");
  }
  return id;
}

CompactFrameID BufferCore::validateFrameId(
    const char * function_name_arg, const std::string & frame_id) const
{
  if (frame_id.empty()) {
    throw tf2::InvalidArgumentException(
        "Invalid argument \"" + frame_id + "\" passed to " + function_name_arg +
        " - in tf2 frame_ids cannot be empty");
  }
  if (startsWithSlash(frame_id)) {
    throw tf2::InvalidArgumentException(
        "Invalid argument \"" + frame_id + "\" passed to " + function_name_arg +
        " - in tf2 frame_ids cannot start with a '/'");
  }
  CompactFrameID id = lookupFrameNumber(frame_id);
  if (id == 0) {
    throw tf2::LookupException(
        "\"" + frame_id + "\" passed to " + function_name_arg + " does not exist. ");
  }
  return id;
}

BufferCore::BufferCore(tf2::Duration cache_time)
    : cache_time_(cache_time),
      transformable_callbacks_counter_(0),
      transformable_requests_counter_(0),
      using_dedicated_thread_(false)
{
  frameIDs_["NO_PARENT"] = 0;
  frames_.push_back(TimeCacheInterfacePtr());
  frameIDs_reverse_.push_back("NO_PARENT");
}

BufferCore::~BufferCore() {}

void BufferCore::clear()
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  for (size_t i = 1; i < frames_.size(); ++i) {
    if (frames_[i]) {
      frames_[i]->clearList();
    }
  }
}

bool BufferCore::setTransform(
    const geometry_msgs::msg::TransformStamped & transform,
    const std::string & authority,
    bool is_static)
{
  tf2::Transform tf2_transform(
      tf2::Quaternion(
          transform.transform.rotation.x,
          transform.transform.rotation.y,
          transform.transform.rotation.z,
          transform.transform.rotation.w),
      tf2::Vector3(
          transform.transform.translation.x,
          transform.transform.translation.y,
          transform.transform.translation.z));
  TimePoint time_point(
      std::chrono::nanoseconds(transform.header.stamp.nanosec) +
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          std::chrono::seconds(transform.header.stamp.sec)));
  return setTransformImpl(
      tf2_transform,
      transform.header.frame_id,
      transform.child_frame_id,
      time_point,
      authority,
      is_static);
}

bool BufferCore::setTransformImpl(
    const tf2::Transform & transform_in,
    const std::string & frame_id,
    const std::string & child_frame_id,
    const TimePoint & stamp,
    const std::string & authority,
    bool is_static)
{
  std::string stripped_frame_id = stripSlash(frame_id);
  std::string stripped_child_frame_id = stripSlash(child_frame_id);

  bool error_exists = false;
  if (stripped_child_frame_id == stripped_frame_id) {
    CONSOLE_BRIDGE_logError(
        "TF_SELF_TRANSFORM: Ignoring transform from authority \"%s\" with frame_id and  "
        "child_frame_id \"%s\" because they are the same",
        authority.c_str(),
        stripped_child_frame_id.c_str());
    error_exists = true;
  }
  if (stripped_child_frame_id.empty()) {
    CONSOLE_BRIDGE_logError(
        "TF_NO_CHILD_FRAME_ID: Ignoring transform from authority \"%s\" because child_frame_id not"
        " set ",
        authority.c_str());
    error_exists = true;
  }
  if (stripped_frame_id.empty()) {
    CONSOLE_BRIDGE_logError(
        "TF_NO_FRAME_ID: Ignoring transform with child_frame_id \"%s\"  from authority \"%s\" "
        "because frame_id not set",
        stripped_child_frame_id.c_str(),
        authority.c_str());
    error_exists = true;
  }
  // The rotation is read back from the basis, so a non-unit quaternion arrives normalised and a
  // zero one as NaN.
  const tf2::Vector3 & o = transform_in.getOrigin();
  const tf2::Quaternion q = transform_in.getRotation();
  if (std::isnan(o.x()) || std::isnan(o.y()) || std::isnan(o.z()) || std::isnan(q.x()) ||
      std::isnan(q.y()) || std::isnan(q.z()) || std::isnan(q.w())) {
    CONSOLE_BRIDGE_logError(
        "TF_NAN_INPUT: Ignoring transform for child_frame_id \"%s\" from authority \"%s\" because"
        " of a nan value in the transform (%f %f %f) (%f %f %f %f)",
        stripped_child_frame_id.c_str(),
        authority.c_str(),
        o.x(),
        o.y(),
        o.z(),
        q.x(),
        q.y(),
        q.z(),
        q.w());
    error_exists = true;
  }
  const bool valid =
      std::abs((q.w() * q.w() + q.x() * q.x() + q.y() * q.y() + q.z() * q.z()) - 1.0f) <
      QUATERNION_NORMALIZATION_TOLERANCE;
  if (!valid) {
    CONSOLE_BRIDGE_logError(
        "TF_DENORMALIZED_QUATERNION: Ignoring transform for child_frame_id \"%s\" from authority"
        " \"%s\" because of an invalid quaternion in the transform (%f %f %f %f)",
        stripped_child_frame_id.c_str(),
        authority.c_str(),
        q.x(),
        q.y(),
        q.z(),
        q.w());
    error_exists = true;
  }
  if (error_exists) {
    return false;
  }

  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    CompactFrameID frame_number = lookupOrInsertFrameNumber(stripped_child_frame_id);
    TimeCacheInterfacePtr frame = getFrame(frame_number);
    if (frame == nullptr) {
      frame = allocateFrame(frame_number, is_static);
    } else {
      // A frame switches between static and moving with the latest data it gets.
      const bool frame_is_static = dynamic_cast<StaticCache *>(frame.get()) != nullptr;
      if (frame_is_static != is_static) {
        frame = allocateFrame(frame_number, is_static);
      }
    }

    if (frame->insertData(TransformStorage(
            stamp,
            transform_in.getRotation(),
            transform_in.getOrigin(),
            lookupOrInsertFrameNumber(stripped_frame_id),
            frame_number))) {
      frame_authority_[frame_number] = authority;
    } else {
      std::string stamp_str = displayTimePoint(stamp);
      CONSOLE_BRIDGE_logWarn(
          "TF_OLD_DATA ignoring data from the past for frame %s at time %s according to authority"
          " %s\nPossible reasons are listed at http://wiki.ros.org/tf/Errors%%20explained",
          stripped_child_frame_id.c_str(),
          stamp_str.c_str(),
          authority.c_str());
      return false;
    }
  }

  testTransformableRequests();
  return true;
}

TimeCacheInterfacePtr BufferCore::allocateFrame(CompactFrameID cfid, bool is_static)
{
  if (is_static) {
    frames_[cfid] = std::make_shared<StaticCache>();
  } else {
    frames_[cfid] = std::make_shared<TimeCache>(cache_time_);
  }
  return frames_[cfid];
}

template <typename F>
tf2::TF2Error BufferCore::walkToTopParent(
    F & f,
    TimePoint time,
    CompactFrameID target_id,
    CompactFrameID source_id,
    std::string * error_string) const
{
  if (source_id == target_id) {
    f.finalize(Identity, time);
    return tf2::TF2Error::TF2_NO_ERROR;
  }

  if (time == TimePointZero) {
    tf2::TF2Error retval = getLatestCommonTime(target_id, source_id, time, error_string);
    if (retval != tf2::TF2Error::TF2_NO_ERROR) {
      return retval;
    }
  }

  // Up from the source to its root, accumulating.
  CompactFrameID frame = source_id;
  CompactFrameID top_parent = frame;
  uint32_t depth = 0;
  std::string extrapolation_error_string;
  bool extrapolation_might_have_occurred = false;

  while (frame != 0) {
    TimeCacheInterfacePtr cache = getFrame(frame);
    if (!cache) {
      top_parent = frame;
      break;
    }
    CompactFrameID parent = f.gather(cache, time, &extrapolation_error_string);
    if (parent == 0) {
      // There may still be a path from the target up to this frame.
      top_parent = frame;
      extrapolation_might_have_occurred = true;
      break;
    }
    if (frame == target_id) {
      f.finalize(TargetParentOfSource, time);
      return tf2::TF2Error::TF2_NO_ERROR;
    }
    f.accum(true);
    top_parent = frame;
    frame = parent;
    if (++depth > MAX_GRAPH_DEPTH) {
      return loopError(error_string, allFramesAsStringNoLock());
    }
  }

  // Up from the target until it meets the source's path.
  frame = target_id;
  depth = 0;
  while (frame != top_parent) {
    TimeCacheInterfacePtr cache = getFrame(frame);
    if (!cache) {
      break;
    }
    CompactFrameID parent = f.gather(cache, time, error_string);
    if (parent == 0) {
      if (error_string) {
        *error_string = withLookupContext(
            *error_string, lookupFrameString(source_id), lookupFrameString(target_id));
      }
      return tf2::TF2Error::TF2_EXTRAPOLATION_ERROR;
    }
    if (frame == source_id) {
      f.finalize(SourceParentOfTarget, time);
      return tf2::TF2Error::TF2_NO_ERROR;
    }
    f.accum(false);
    frame = parent;
    if (++depth > MAX_GRAPH_DEPTH) {
      return loopError(error_string, allFramesAsStringNoLock());
    }
  }

  if (frame != top_parent) {
    if (extrapolation_might_have_occurred) {
      if (error_string) {
        *error_string = withLookupContext(
            extrapolation_error_string, lookupFrameString(source_id), lookupFrameString(target_id));
      }
      return tf2::TF2Error::TF2_EXTRAPOLATION_ERROR;
    }
    createConnectivityErrorString(source_id, target_id, error_string);
    return tf2::TF2Error::TF2_CONNECTIVITY_ERROR;
  }

  f.finalize(FullPath, time);
  return tf2::TF2Error::TF2_NO_ERROR;
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
    const std::string & target_frame,
    const std::string & source_frame,
    const TimePoint & time) const
{
  tf2::Transform transform;
  TimePoint time_out;
  lookupTransformImpl(target_frame, source_frame, time, transform, time_out);
  return toTransformStamped(transform, time_out, target_frame, source_frame);
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
    const std::string & target_frame,
    const TimePoint & target_time,
    const std::string & source_frame,
    const TimePoint & source_time,
    const std::string & fixed_frame) const
{
  tf2::Transform transform;
  TimePoint time_out;
  lookupTransformImpl(
      target_frame, target_time, source_frame, source_time, fixed_frame, transform, time_out);
  return toTransformStamped(transform, time_out, target_frame, source_frame);
}

void BufferCore::lookupTransformImpl(
    const std::string & target_frame,
    const std::string & source_frame,
    const TimePoint & time,
    tf2::Transform & transform,
    TimePoint & time_out) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);

  if (target_frame == source_frame) {
    transform.setIdentity();
    if (time == TimePointZero) {
      TimeCacheInterfacePtr cache = getFrame(lookupFrameNumber(target_frame));
      time_out = cache ? cache->getLatestTimestamp() : time;
    } else {
      time_out = time;
    }
    return;
  }

  CompactFrameID target_id = validateFrameId("lookupTransform argument target_frame", target_frame);
  CompactFrameID source_id = validateFrameId("lookupTransform argument source_frame", source_frame);

  std::string error_string;
  TransformAccum accum;
  tf2::TF2Error retval = walkToTopParent(accum, time, target_id, source_id, &error_string);
  if (retval != tf2::TF2Error::TF2_NO_ERROR) {
    throwForError(retval, error_string);
  }

  time_out = accum.time;
  transform.setOrigin(accum.result_vec);
  transform.setRotation(accum.result_quat);
}

void BufferCore::lookupTransformImpl(
    const std::string & target_frame,
    const TimePoint & target_time,
    const std::string & source_frame,
    const TimePoint & source_time,
    const std::string & fixed_frame,
    tf2::Transform & transform,
    TimePoint & time_out) const
{
  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    validateFrameId("lookupTransform argument target_frame", target_frame);
    validateFrameId("lookupTransform argument source_frame", source_frame);
    validateFrameId("lookupTransform argument fixed_frame", fixed_frame);
  }

  tf2::Transform tf1, tf2;
  lookupTransformImpl(fixed_frame, source_frame, source_time, tf1, time_out);
  lookupTransformImpl(target_frame, fixed_frame, target_time, tf2, time_out);
  transform = tf2 * tf1;
}

bool BufferCore::canTransformNoLock(
    CompactFrameID target_id,
    CompactFrameID source_id,
    const TimePoint & time,
    std::string * error_msg) const
{
  if (target_id == 0 || source_id == 0) {
    if (error_msg) {
      *error_msg = "Source or target frame is not yet defined";
    }
    return false;
  }
  if (target_id == source_id) {
    return true;
  }
  CanTransformAccum accum;
  return walkToTopParent(accum, time, target_id, source_id, error_msg) ==
         tf2::TF2Error::TF2_NO_ERROR;
}

bool BufferCore::canTransformInternal(
    CompactFrameID target_id,
    CompactFrameID source_id,
    const TimePoint & time,
    std::string * error_msg) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return canTransformNoLock(target_id, source_id, time, error_msg);
}

bool BufferCore::canTransform(
    const std::string & target_frame,
    const std::string & source_frame,
    const TimePoint & time,
    std::string * error_msg) const
{
  if (target_frame == source_frame) {
    return true;
  }
  std::lock_guard<std::mutex> lock(frame_mutex_);
  CompactFrameID target_id =
      validateFrameId("canTransform argument target_frame", target_frame, error_msg);
  if (target_id == 0) {
    return false;
  }
  CompactFrameID source_id =
      validateFrameId("canTransform argument source_frame", source_frame, error_msg);
  if (source_id == 0) {
    return false;
  }
  return canTransformNoLock(target_id, source_id, time, error_msg);
}

bool BufferCore::canTransform(
    const std::string & target_frame,
    const TimePoint & target_time,
    const std::string & source_frame,
    const TimePoint & source_time,
    const std::string & fixed_frame,
    std::string * error_msg) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  CompactFrameID target_id =
      validateFrameId("canTransform argument target_frame", target_frame, error_msg);
  if (target_id == 0) {
    return false;
  }
  CompactFrameID source_id =
      validateFrameId("canTransform argument source_frame", source_frame, error_msg);
  if (source_id == 0) {
    return false;
  }
  CompactFrameID fixed_id =
      validateFrameId("canTransform argument fixed_frame", fixed_frame, error_msg);
  if (fixed_id == 0) {
    return false;
  }
  return canTransformNoLock(target_id, fixed_id, target_time, error_msg) &&
         canTransformNoLock(fixed_id, source_id, source_time, error_msg);
}

TimeCacheInterfacePtr BufferCore::getFrame(CompactFrameID frame_id) const
{
  if (frame_id >= frames_.size()) {
    return TimeCacheInterfacePtr();
  }
  return frames_[frame_id];
}

CompactFrameID BufferCore::lookupFrameNumber(const std::string & frameid_str) const
{
  auto map_it = frameIDs_.find(frameid_str);
  if (map_it == frameIDs_.end()) {
    return CompactFrameID(0);
  }
  return map_it->second;
}

CompactFrameID BufferCore::lookupOrInsertFrameNumber(const std::string & frameid_str)
{
  auto map_it = frameIDs_.find(frameid_str);
  if (map_it != frameIDs_.end()) {
    return map_it->second;
  }
  CompactFrameID retval = CompactFrameID(frames_.size());
  frames_.push_back(TimeCacheInterfacePtr());
  frameIDs_[frameid_str] = retval;
  frameIDs_reverse_.push_back(frameid_str);
  return retval;
}

const std::string & BufferCore::lookupFrameString(CompactFrameID frame_id_num) const
{
  if (frame_id_num >= frameIDs_reverse_.size()) {
    std::stringstream ss;
    ss << "Reverse lookup of frame id " << frame_id_num << " failed!";
    throw tf2::LookupException(ss.str());
  }
  return frameIDs_reverse_[frame_id_num];
}

void BufferCore::createConnectivityErrorString(
    CompactFrameID source_frame, CompactFrameID target_frame, std::string * out) const
{
  if (!out) {
    return;
  }
  *out = std::string(
      "Could not find a connection between '" + lookupFrameString(target_frame) + "' and '" +
      lookupFrameString(source_frame) + "' because they are not part of the same tree." +
      "Tf has two or more unconnected trees.");
}

std::vector<std::string> BufferCore::getAllFrameNames() const
{
  std::vector<std::string> frames;
  _getFrameStrings(frames);
  return frames;
}

std::string BufferCore::allFramesAsString() const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return allFramesAsStringNoLock();
}

std::string BufferCore::allFramesAsStringNoLock() const
{
  std::stringstream mstream;
  TransformStorage temp;
  for (size_t counter = 1; counter < frames_.size(); counter++) {
    TimeCacheInterfacePtr frame_ptr = getFrame(static_cast<CompactFrameID>(counter));
    if (frame_ptr == nullptr) {
      continue;
    }
    CompactFrameID frame_id_num = 0;
    if (frame_ptr->getData(TimePointZero, temp)) {
      frame_id_num = temp.frame_id_;
    }
    mstream << "Frame " << frameIDs_reverse_[counter] << " exists with parent "
            << frameIDs_reverse_[frame_id_num] << "." << std::endl;
  }
  return mstream.str();
}

tf2::TF2Error BufferCore::getLatestCommonTime(
    CompactFrameID target_id,
    CompactFrameID source_id,
    TimePoint & time,
    std::string * error_string) const
{
  if (source_id == 0 || target_id == 0) {
    return tf2::TF2Error::TF2_LOOKUP_ERROR;
  }

  if (source_id == target_id) {
    TimeCacheInterfacePtr cache = getFrame(source_id);
    time = cache ? cache->getLatestTimestamp() : TimePointZero;
    return tf2::TF2Error::TF2_NO_ERROR;
  }

  std::vector<P_TimeAndFrameID> lct_cache;

  // Up from the source, remembering each parent and its latest time. Static links report time 0
  // and do not limit the common time.
  CompactFrameID frame = source_id;
  uint32_t depth = 0;
  TimePoint common_time = TimePoint::max();
  while (frame != 0) {
    TimeCacheInterfacePtr cache = getFrame(frame);
    if (!cache) {
      break;
    }
    P_TimeAndFrameID latest = cache->getLatestTimeAndParent();
    if (latest.second == 0) {
      break;
    }
    if (latest.first != TimePointZero) {
      common_time = std::min(latest.first, common_time);
    }
    lct_cache.push_back(latest);
    frame = latest.second;
    if (frame == target_id) {
      time = latestOrZero(common_time);
      return tf2::TF2Error::TF2_NO_ERROR;
    }
    if (++depth > MAX_GRAPH_DEPTH) {
      return loopError(error_string, allFramesAsStringNoLock());
    }
  }

  // Up from the target until a parent of the source's path is met.
  frame = target_id;
  depth = 0;
  common_time = TimePoint::max();
  CompactFrameID common_parent = 0;
  while (true) {
    TimeCacheInterfacePtr cache = getFrame(frame);
    if (!cache) {
      break;
    }
    P_TimeAndFrameID latest = cache->getLatestTimeAndParent();
    if (latest.second == 0) {
      break;
    }
    if (latest.first != TimePointZero) {
      common_time = std::min(latest.first, common_time);
    }
    auto it =
        std::find_if(lct_cache.begin(), lct_cache.end(), [&latest](const P_TimeAndFrameID & entry) {
          return entry.second == latest.second;
        });
    if (it != lct_cache.end()) {
      common_parent = it->second;
      break;
    }
    frame = latest.second;
    if (frame == source_id) {
      time = latestOrZero(common_time);
      return tf2::TF2Error::TF2_NO_ERROR;
    }
    if (++depth > MAX_GRAPH_DEPTH) {
      return loopError(error_string, allFramesAsStringNoLock());
    }
  }

  if (common_parent == 0) {
    createConnectivityErrorString(source_id, target_id, error_string);
    return tf2::TF2Error::TF2_CONNECTIVITY_ERROR;
  }

  for (const auto & entry : lct_cache) {
    if (entry.first != TimePointZero) {
      common_time = std::min(common_time, entry.first);
    }
    if (entry.second == common_parent) {
      break;
    }
  }

  time = latestOrZero(common_time);
  return tf2::TF2Error::TF2_NO_ERROR;
}

std::string BufferCore::allFramesAsYAML(TimePoint current_time) const
{
  std::stringstream mstream;
  std::lock_guard<std::mutex> lock(frame_mutex_);
  TransformStorage temp;
  if (frames_.size() == 1) {
    mstream << "[]";
  }
  mstream.precision(3);
  mstream.setf(std::ios::fixed, std::ios::floatfield);
  for (size_t counter = 1; counter < frames_.size(); counter++) {
    CompactFrameID cfid = static_cast<CompactFrameID>(counter);
    TimeCacheInterfacePtr cache = getFrame(cfid);
    if (!cache || !cache->getData(TimePointZero, temp)) {
      continue;
    }
    CompactFrameID frame_id_num = temp.frame_id_;
    std::string authority = "no recorded authority";
    auto it = frame_authority_.find(cfid);
    if (it != frame_authority_.end()) {
      authority = it->second;
    }
    tf2::Duration dur1 = cache->getLatestTimestamp() - cache->getOldestTimestamp();
    tf2::Duration dur2 = tf2::Duration(std::chrono::microseconds(100));
    double rate =
        (cache->getListLength() * 1e9) / static_cast<double>((dur1 > dur2 ? dur1 : dur2).count());
    mstream << frameIDs_reverse_[cfid] << ": " << std::endl;
    mstream << "  parent: '" << frameIDs_reverse_[frame_id_num] << "'" << std::endl;
    mstream << "  broadcaster: '" << authority << "'" << std::endl;
    mstream << "  rate: " << rate << std::endl;
    mstream << "  most_recent_transform: " << displayTimePoint(cache->getLatestTimestamp())
            << std::endl;
    mstream << "  oldest_transform: " << displayTimePoint(cache->getOldestTimestamp()) << std::endl;
    if (current_time != TimePointZero) {
      mstream << "  transform_delay: " << durationToSec(current_time - cache->getLatestTimestamp())
              << std::endl;
    }
    mstream << "  buffer_length: "
            << durationToSec(cache->getLatestTimestamp() - cache->getOldestTimestamp())
            << std::endl;
  }
  return mstream.str();
}

std::string BufferCore::allFramesAsYAML() const { return allFramesAsYAML(TimePointZero); }

TransformableRequestHandle BufferCore::addTransformableRequest(
    const TransformableCallback & cb,
    const std::string & target_frame,
    const std::string & source_frame,
    TimePoint time)
{
  if (target_frame == source_frame) {
    return 0;
  }

  // Held across the whole method so that a setTransform between the availability check and the
  // registration cannot miss this request.
  std::lock_guard<std::mutex> lock(transformable_requests_mutex_);

  TransformableRequest req;
  {
    std::lock_guard<std::mutex> frame_lock(frame_mutex_);
    req.target_id = lookupFrameNumber(target_frame);
    req.source_id = lookupFrameNumber(source_frame);

    if (canTransformNoLock(req.target_id, req.source_id, time, nullptr)) {
      return 0;
    }

    // Too old ever to become available.
    if (req.target_id && req.source_id) {
      TimePoint latest_time;
      getLatestCommonTime(req.target_id, req.source_id, latest_time, nullptr);
      if ((latest_time != TimePointZero) && (time + cache_time_ < latest_time)) {
        return 0xffffffffffffffffULL;
      }
    }
  }

  {
    std::lock_guard<std::mutex> cb_lock(transformable_callbacks_mutex_);
    TransformableCallbackHandle handle = ++transformable_callbacks_counter_;
    while (!transformable_callbacks_.insert(std::make_pair(handle, cb)).second) {
      handle = ++transformable_callbacks_counter_;
    }
    req.cb_handle = handle;
  }

  req.time = time;
  req.request_handle = ++transformable_requests_counter_;
  if (req.request_handle == 0 || req.request_handle == 0xffffffffffffffffULL) {
    req.request_handle = 1;
  }
  if (req.target_id == 0) {
    req.target_string = target_frame;
  }
  if (req.source_id == 0) {
    req.source_string = source_frame;
  }

  transformable_requests_.push_back(req);
  return req.request_handle;
}

void BufferCore::cancelTransformableRequest(TransformableRequestHandle handle)
{
  std::lock_guard<std::mutex> tr_lock(transformable_requests_mutex_);
  std::lock_guard<std::mutex> tc_lock(transformable_callbacks_mutex_);

  // Only the callbacks of the removed requests go (the elements remove_if leaves behind are
  // unspecified, so they are not used to find them).
  for (const auto & req : transformable_requests_) {
    if (req.request_handle == handle) {
      transformable_callbacks_.erase(req.cb_handle);
    }
  }
  transformable_requests_.erase(
      std::remove_if(
          transformable_requests_.begin(),
          transformable_requests_.end(),
          [handle](const TransformableRequest & req) { return handle == req.request_handle; }),
      transformable_requests_.end());
}

bool BufferCore::_frameExists(const std::string & frame_id_str) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return frameIDs_.count(frame_id_str) != 0;
}

bool BufferCore::_getParent(
    const std::string & frame_id, TimePoint time, std::string & parent) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  TimeCacheInterfacePtr frame = getFrame(lookupFrameNumber(frame_id));
  if (!frame) {
    return false;
  }
  CompactFrameID parent_id = frame->getParent(time, nullptr);
  if (parent_id == 0) {
    return false;
  }
  parent = lookupFrameString(parent_id);
  return true;
}

void BufferCore::_getFrameStrings(std::vector<std::string> & vec) const
{
  vec.clear();
  std::lock_guard<std::mutex> lock(frame_mutex_);
  for (size_t counter = 1; counter < frameIDs_reverse_.size(); counter++) {
    vec.push_back(frameIDs_reverse_[counter]);
  }
}

CompactFrameID BufferCore::_lookupFrameNumber(const std::string & frameid_str) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return lookupFrameNumber(frameid_str);
}

void BufferCore::testTransformableRequests()
{
  std::lock_guard<std::mutex> lock(transformable_requests_mutex_);
  auto it = transformable_requests_.begin();
  while (it != transformable_requests_.end()) {
    TransformableRequest & req = *it;

    bool do_cb = false;
    TransformableResult result = TransformAvailable;
    std::string target_name;
    std::string source_name;
    {
      std::lock_guard<std::mutex> frame_lock(frame_mutex_);
      // A frame unknown when the request was made may exist now.
      if (req.target_id == 0) {
        req.target_id = lookupFrameNumber(req.target_string);
      }
      if (req.source_id == 0) {
        req.source_id = lookupFrameNumber(req.source_string);
      }

      TimePoint latest_time;
      getLatestCommonTime(req.target_id, req.source_id, latest_time, nullptr);
      if ((latest_time != TimePointZero) && (req.time + cache_time_ < latest_time)) {
        do_cb = true;
        result = TransformFailure;
      } else if (canTransformNoLock(req.target_id, req.source_id, req.time, nullptr)) {
        do_cb = true;
        result = TransformAvailable;
      }
      if (do_cb) {
        target_name = lookupFrameString(req.target_id);
        source_name = lookupFrameString(req.source_id);
      }
    }

    if (!do_cb) {
      ++it;
      continue;
    }

    {
      std::lock_guard<std::mutex> cb_lock(transformable_callbacks_mutex_);
      auto cb_it = transformable_callbacks_.find(req.cb_handle);
      if (cb_it != transformable_callbacks_.end()) {
        const TransformableCallback cb = cb_it->second;
        transformable_callbacks_.erase(cb_it);
        cb(req.request_handle, target_name, source_name, req.time, result);
      }
    }

    // Swap-remove; the element moved into this slot is tested next.
    const auto index = it - transformable_requests_.begin();
    if (transformable_requests_.size() > 1) {
      transformable_requests_[index] = transformable_requests_.back();
    }
    transformable_requests_.pop_back();
    it = transformable_requests_.begin() + index;
  }
}

}  // namespace tf2
