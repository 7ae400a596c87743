// tf2's time types: nanosecond durations and system-clock time points.
#ifndef TF2__TIME_H_
#define TF2__TIME_H_

#include <chrono>
#include <cstdint>
#include <string>

#include "tf2/visibility_control.h"

namespace tf2 {
using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Duration>;

using IDuration = std::chrono::duration<int, std::nano>;
/// Time 0: in a lookup it asks for the latest time all frames of the chain have in common.
static const TimePoint TimePointZero = TimePoint(IDuration::zero());

/// The system clock now.
TF2_PUBLIC TimePoint get_now();

/// Seconds to a Duration (whole seconds as a 32-bit count, nanoseconds rounded).
TF2_PUBLIC Duration durationFromSec(double t_sec);

TF2_PUBLIC TimePoint timeFromSec(double t_sec);

TF2_PUBLIC double durationToSec(const tf2::Duration & input);

TF2_PUBLIC double timeToSec(const TimePoint & timepoint);

/// Seconds with six decimals, as tf2 prints stamps in its messages.
TF2_PUBLIC std::string displayTimePoint(const TimePoint & stamp);

}  // namespace tf2

#endif  // TF2__TIME_H_
