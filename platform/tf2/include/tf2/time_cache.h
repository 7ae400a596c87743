// Per-frame storage of transforms over time: the moving TimeCache and the StaticCache.
#ifndef TF2__TIME_CACHE_H_
#define TF2__TIME_CACHE_H_

#include <list>
#include <memory>
#include <string>
#include <utility>

#include "tf2/time.h"
#include "tf2/transform_storage.h"
#include "tf2/visibility_control.h"

namespace tf2 {

typedef std::pair<TimePoint, CompactFrameID> P_TimeAndFrameID;

/// What BufferCore needs from the storage of one child frame. Not thread safe: BufferCore calls
/// it with its frame mutex held.
class TimeCacheInterface
{
public:
  TF2_PUBLIC virtual ~TimeCacheInterface() = default;

  /// Data at `time` (interpolated when between two stamps with the same parent); false and an
  /// explanation in error_str when `time` is outside the stored interval.
  TF2_PUBLIC virtual bool getData(
      TimePoint time, TransformStorage & data_out, std::string * error_str = 0) = 0;
  /// Stores new data; false when it is older than the cache keeps.
  TF2_PUBLIC virtual bool insertData(const TransformStorage & new_data) = 0;
  TF2_PUBLIC virtual void clearList() = 0;
  /// Parent frame at `time`, 0 when there is no data for that time.
  TF2_PUBLIC virtual CompactFrameID getParent(TimePoint time, std::string * error_str) = 0;
  /// Latest stamp and its parent; (0, 0) when empty.
  TF2_PUBLIC virtual P_TimeAndFrameID getLatestTimeAndParent() = 0;
  TF2_PUBLIC virtual unsigned int getListLength() = 0;
  TF2_PUBLIC virtual TimePoint getLatestTimestamp() = 0;
  TF2_PUBLIC virtual TimePoint getOldestTimestamp() = 0;
};

using TimeCacheInterfacePtr = std::shared_ptr<TimeCacheInterface>;

constexpr tf2::Duration TIMECACHE_DEFAULT_MAX_STORAGE_TIME = std::chrono::seconds(10);

/// Transforms of one frame, newest first, pruned to max_storage_time behind the newest.
class TimeCache : public TimeCacheInterface
{
public:
  static const int MIN_INTERPOLATION_DISTANCE = 5;
  static const unsigned int MAX_LENGTH_LINKED_LIST = 1000000;

  TF2_PUBLIC explicit TimeCache(
      tf2::Duration max_storage_time = TIMECACHE_DEFAULT_MAX_STORAGE_TIME);

  TF2_PUBLIC bool getData(
      TimePoint time, TransformStorage & data_out, std::string * error_str = 0) override;
  TF2_PUBLIC bool insertData(const TransformStorage & new_data) override;
  TF2_PUBLIC void clearList() override;
  TF2_PUBLIC CompactFrameID getParent(TimePoint time, std::string * error_str) override;
  TF2_PUBLIC P_TimeAndFrameID getLatestTimeAndParent() override;
  TF2_PUBLIC unsigned int getListLength() override;
  TF2_PUBLIC TimePoint getLatestTimestamp() override;
  TF2_PUBLIC TimePoint getOldestTimestamp() override;

private:
  typedef std::list<TransformStorage> L_TransformStorage;
  L_TransformStorage storage_;
  tf2::Duration max_storage_time_;

  uint8_t findClosest(
      TransformStorage *& one,
      TransformStorage *& two,
      TimePoint target_time,
      std::string * error_str);
  void interpolate(
      const TransformStorage & one,
      const TransformStorage & two,
      TimePoint time,
      TransformStorage & output);
  void pruneList();
};

/// One transform valid at every time; clearList() keeps it.
class StaticCache : public TimeCacheInterface
{
public:
  TF2_PUBLIC bool getData(
      TimePoint time, TransformStorage & data_out, std::string * error_str = 0) override;
  TF2_PUBLIC bool insertData(const TransformStorage & new_data) override;
  TF2_PUBLIC void clearList() override;
  TF2_PUBLIC CompactFrameID getParent(TimePoint time, std::string * error_str) override;
  TF2_PUBLIC P_TimeAndFrameID getLatestTimeAndParent() override;
  TF2_PUBLIC unsigned int getListLength() override;
  TF2_PUBLIC TimePoint getLatestTimestamp() override;
  TF2_PUBLIC TimePoint getOldestTimestamp() override;

private:
  TransformStorage storage_;
};

}  // namespace tf2

#endif  // TF2__TIME_CACHE_H_
