#include "tf2/time.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace tf2 {

TimePoint get_now() { return std::chrono::system_clock::now(); }

Duration durationFromSec(double t_sec)
{
  // Whole seconds and nanoseconds as 32-bit counts, as tf2 does, so that rounding matches.
  int32_t sec = static_cast<int32_t>(std::floor(t_sec));
  int32_t nsec = static_cast<int32_t>(std::round((t_sec - sec) * 1e9));
  sec += (nsec / 1000000000L);
  nsec %= 1000000000L;
  return std::chrono::seconds(sec) + std::chrono::nanoseconds(nsec);
}

TimePoint timeFromSec(double t_sec) { return tf2::TimePoint(durationFromSec(t_sec)); }

double durationToSec(const tf2::Duration & input)
{
  int64_t count = input.count();
  int32_t nsec = static_cast<int32_t>(count % 1000000000L);
  int32_t sec = static_cast<int32_t>((count - nsec) / 1000000000L);
  return static_cast<double>(sec) + 1e-9 * static_cast<double>(nsec);
}

double timeToSec(const TimePoint & timepoint)
{
  return durationToSec(Duration(timepoint.time_since_epoch()));
}

std::string displayTimePoint(const TimePoint & stamp)
{
  const double current_time = timeToSec(stamp);
  char buffer[64];
  const int n = std::snprintf(buffer, sizeof(buffer), "%.6f", current_time);
  if (n < 0) {
    return std::string();
  }
  if (static_cast<size_t>(n) < sizeof(buffer)) {
    return std::string(buffer, static_cast<size_t>(n));
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&big[0], big.size(), "%.6f", current_time);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace tf2
