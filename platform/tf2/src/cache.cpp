#include <algorithm>
#include <list>
#include <sstream>
#include <string>
#include <utility>

#include "tf2/time_cache.h"

namespace tf2 {

TransformStorage::TransformStorage() : stamp_(), frame_id_(0), child_frame_id_(0)
{
  rotation_.setValue(0.0, 0.0, 0.0, 1.0);
}

TransformStorage::TransformStorage(
    const TimePoint & stamp,
    const Quaternion & q,
    const Vector3 & t,
    CompactFrameID frame_id,
    CompactFrameID child_frame_id)
    : rotation_(q),
      translation_(t),
      stamp_(stamp),
      frame_id_(frame_id),
      child_frame_id_(child_frame_id)
{
}

TimeCache::TimeCache(tf2::Duration max_storage_time) : max_storage_time_(max_storage_time) {}

namespace {

void noDataError(TimePoint t0, TimePoint t1, std::string * error_str)
{
  if (error_str) {
    std::stringstream ss;
    ss << "Lookup would require extrapolation at time " << displayTimePoint(t0)
       << ", but only time " << displayTimePoint(t1) << " is in the buffer";
    *error_str = ss.str();
  }
}

void futureError(TimePoint t0, TimePoint t1, std::string * error_str)
{
  if (error_str) {
    std::stringstream ss;
    ss << "Lookup would require extrapolation into the future.  Requested time "
       << displayTimePoint(t0) << " but the latest data is at time " << displayTimePoint(t1);
    *error_str = ss.str();
  }
}

void pastError(TimePoint t0, TimePoint t1, std::string * error_str)
{
  if (error_str) {
    std::stringstream ss;
    ss << "Lookup would require extrapolation into the past.  Requested time "
       << displayTimePoint(t0) << " but the earliest data is at time " << displayTimePoint(t1);
    *error_str = ss.str();
  }
}

}  // namespace

uint8_t TimeCache::findClosest(
    TransformStorage *& one,
    TransformStorage *& two,
    TimePoint target_time,
    std::string * error_str)
{
  if (storage_.empty()) {
    return 0;
  }

  // Time 0 means the newest data.
  if (target_time == TimePointZero) {
    one = &storage_.front();
    return 1;
  }

  if (++storage_.begin() == storage_.end()) {
    TransformStorage & ts = *storage_.begin();
    if (ts.stamp_ == target_time) {
      one = &ts;
      return 1;
    }
    noDataError(target_time, ts.stamp_, error_str);
    return 0;
  }

  TimePoint latest_time = storage_.begin()->stamp_;
  TimePoint earliest_time = storage_.rbegin()->stamp_;

  if (target_time == latest_time) {
    one = &(*storage_.begin());
    return 1;
  }
  if (target_time == earliest_time) {
    one = &(*storage_.rbegin());
    return 1;
  }
  if (target_time > latest_time) {
    futureError(target_time, latest_time, error_str);
    return 0;
  }
  if (target_time < earliest_time) {
    pastError(target_time, earliest_time, error_str);
    return 0;
  }

  // Strictly between the oldest and the newest: the first entry not newer than the target and
  // the one before it (newer) bracket it.
  L_TransformStorage::iterator storage_it = storage_.begin();
  while (storage_it != storage_.end()) {
    if (storage_it->stamp_ <= target_time) {
      break;
    }
    ++storage_it;
  }
  one = &*(storage_it);
  two = &*(--storage_it);
  return 2;
}

void TimeCache::interpolate(
    const TransformStorage & one,
    const TransformStorage & two,
    TimePoint time,
    TransformStorage & output)
{
  if (two.stamp_ == one.stamp_) {
    output = two;
    return;
  }
  tf2Scalar ratio = static_cast<double>((time - one.stamp_).count()) /
                    static_cast<double>((two.stamp_ - one.stamp_).count());

  output.translation_.setInterpolate3(one.translation_, two.translation_, ratio);
  output.rotation_ = slerp(one.rotation_, two.rotation_, ratio);
  output.stamp_ = one.stamp_;
  output.frame_id_ = one.frame_id_;
  output.child_frame_id_ = one.child_frame_id_;
}

bool TimeCache::getData(TimePoint time, TransformStorage & data_out, std::string * error_str)
{
  TransformStorage * p_temp_1 = nullptr;
  TransformStorage * p_temp_2 = nullptr;

  int num_nodes = findClosest(p_temp_1, p_temp_2, time, error_str);
  if (num_nodes == 0) {
    return false;
  } else if (num_nodes == 1) {
    data_out = *p_temp_1;
  } else {
    // A parent change between the two stamps: no interpolation across it.
    if (p_temp_1->frame_id_ == p_temp_2->frame_id_) {
      interpolate(*p_temp_1, *p_temp_2, time, data_out);
    } else {
      data_out = *p_temp_1;
    }
  }
  return true;
}

CompactFrameID TimeCache::getParent(TimePoint time, std::string * error_str)
{
  TransformStorage * p_temp_1 = nullptr;
  TransformStorage * p_temp_2 = nullptr;

  int num_nodes = findClosest(p_temp_1, p_temp_2, time, error_str);
  if (num_nodes == 0) {
    return 0;
  }
  return p_temp_1->frame_id_;
}

bool TimeCache::insertData(const TransformStorage & new_data)
{
  L_TransformStorage::iterator storage_it = storage_.begin();

  if (storage_it != storage_.end()) {
    if (storage_it->stamp_ > new_data.stamp_ + max_storage_time_) {
      return false;
    }
  }

  while (storage_it != storage_.end()) {
    if (storage_it->stamp_ <= new_data.stamp_) {
      break;
    }
    ++storage_it;
  }
  // Identical data (a republished transform) is stored once.
  for (auto same = storage_it; same != storage_.end() && same->stamp_ == new_data.stamp_; ++same) {
    if (*same == new_data) {
      pruneList();
      return true;
    }
  }
  storage_.insert(storage_it, new_data);

  pruneList();
  return true;
}

void TimeCache::clearList() { storage_.clear(); }

unsigned int TimeCache::getListLength() { return static_cast<unsigned int>(storage_.size()); }

P_TimeAndFrameID TimeCache::getLatestTimeAndParent()
{
  if (storage_.empty()) {
    return std::make_pair(TimePoint(), 0);
  }
  const TransformStorage & ts = storage_.front();
  return std::make_pair(ts.stamp_, ts.frame_id_);
}

TimePoint TimeCache::getLatestTimestamp()
{
  if (storage_.empty()) {
    return TimePoint();
  }
  return storage_.front().stamp_;
}

TimePoint TimeCache::getOldestTimestamp()
{
  if (storage_.empty()) {
    return TimePoint();
  }
  return storage_.back().stamp_;
}

void TimeCache::pruneList()
{
  TimePoint latest_time = storage_.begin()->stamp_;
  while (!storage_.empty() && storage_.back().stamp_ + max_storage_time_ < latest_time) {
    storage_.pop_back();
  }
}

bool StaticCache::getData(TimePoint time, TransformStorage & data_out, std::string * error_str)
{
  (void)error_str;
  data_out = storage_;
  data_out.stamp_ = time;
  return true;
}

bool StaticCache::insertData(const TransformStorage & new_data)
{
  storage_ = new_data;
  return true;
}

void StaticCache::clearList() {}

unsigned int StaticCache::getListLength() { return 1; }

CompactFrameID StaticCache::getParent(TimePoint time, std::string * error_str)
{
  (void)time;
  (void)error_str;
  return storage_.frame_id_;
}

P_TimeAndFrameID StaticCache::getLatestTimeAndParent()
{
  return std::make_pair(TimePoint(), storage_.frame_id_);
}

TimePoint StaticCache::getLatestTimestamp() { return TimePoint(); }

TimePoint StaticCache::getOldestTimestamp() { return TimePoint(); }

}  // namespace tf2
