// Time and duration types of the middleware interface.
#ifndef RMW__TIME_H_
#define RMW__TIME_H_

#ifdef __cplusplus
extern "C" {
#endif

#include <stdbool.h>
#include <stdint.h>

/// A duration of time, measured in seconds and nanoseconds.
typedef struct rmw_time_s
{
  /// Seconds component
  uint64_t sec;
  /// Nanoseconds component
  uint64_t nsec;
} rmw_time_t;

typedef int64_t rmw_time_point_value_t;
typedef int64_t rmw_duration_t;

/// Constant representing an infinite duration.
#define RMW_DURATION_INFINITE \
  {                           \
    9223372036LL, 854775807LL \
  }
#define RMW_DURATION_UNSPECIFIED \
  {                              \
    0LL, 0LL                     \
  }

#ifdef __cplusplus
}
#endif

#endif  // RMW__TIME_H_
