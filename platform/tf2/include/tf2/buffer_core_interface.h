// The lookup interface every tf2 buffer offers.
#ifndef TF2__BUFFER_CORE_INTERFACE_H_
#define TF2__BUFFER_CORE_INTERFACE_H_

#include <string>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/time.h"
#include "tf2/visibility_control.h"

namespace tf2 {

/// Lookups of transforms between frames at given times.
class BufferCoreInterface
{
public:
  TF2_PUBLIC
  virtual ~BufferCoreInterface() = default;

  /// Drops all non-static data.
  TF2_PUBLIC
  virtual void clear() = 0;

  /// Transform taking data in source_frame into target_frame at `time` (TimePointZero = latest
  /// common time). Throws LookupException, ConnectivityException, ExtrapolationException or
  /// InvalidArgumentException.
  TF2_PUBLIC
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time) const = 0;

  /// Transform from source_frame at source_time to target_frame at target_time through
  /// fixed_frame.
  TF2_PUBLIC
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame) const = 0;

  /// Whether lookupTransform would succeed now; never throws.
  TF2_PUBLIC
  virtual bool canTransform(
      const std::string & target_frame,
      const std::string & source_frame,
      const tf2::TimePoint & time,
      std::string * error_msg) const = 0;

  TF2_PUBLIC
  virtual bool canTransform(
      const std::string & target_frame,
      const tf2::TimePoint & target_time,
      const std::string & source_frame,
      const tf2::TimePoint & source_time,
      const std::string & fixed_frame,
      std::string * error_msg) const = 0;

  TF2_PUBLIC
  virtual std::vector<std::string> getAllFrameNames() const = 0;
};

}  // namespace tf2

#endif  // TF2__BUFFER_CORE_INTERFACE_H_
