// Clock types and time value types of the client support library.
#ifndef RCL__TIME_H_
#define RCL__TIME_H_

#ifdef __cplusplus
extern "C" {
#endif

#include <stdint.h>

#include "rcl/types.h"

#define RCL_S_TO_NS(seconds) ((seconds) * (1000LL * 1000LL * 1000LL))
#define RCL_MS_TO_NS(milliseconds) ((milliseconds) * (1000LL * 1000LL))
#define RCL_US_TO_NS(microseconds) ((microseconds)*1000LL)
#define RCL_NS_TO_S(nanoseconds) ((nanoseconds) / (1000LL * 1000LL * 1000LL))
#define RCL_NS_TO_MS(nanoseconds) ((nanoseconds) / (1000LL * 1000LL))
#define RCL_NS_TO_US(nanoseconds) ((nanoseconds) / 1000LL)

/// Time source of a clock.
enum rcl_clock_type_e
{
  /// Clock uninitialized
  RCL_CLOCK_UNINITIALIZED = 0,
  /// Use ROS time (system time unless simulated time is active)
  RCL_ROS_TIME,
  /// Use system time
  RCL_SYSTEM_TIME,
  /// Use a steady clock time
  RCL_STEADY_TIME
};
typedef enum rcl_clock_type_e rcl_clock_type_t;

/// A single point in time, measured in nanoseconds since the Unix epoch.
typedef int64_t rcl_time_point_value_t;
/// A duration of time, measured in nanoseconds.
typedef int64_t rcl_duration_value_t;

typedef struct rcl_duration_s
{
  rcl_duration_value_t nanoseconds;
} rcl_duration_t;

typedef struct rcl_time_point_s
{
  rcl_time_point_value_t nanoseconds;
  rcl_clock_type_t clock_type;
} rcl_time_point_t;

/// Kind of a time jump reported to jump callbacks.
typedef enum rcl_clock_change_e
{
  RCL_ROS_TIME_NO_CHANGE = 1,
  RCL_ROS_TIME_ACTIVATED = 2,
  RCL_ROS_TIME_DEACTIVATED = 3,
  RCL_SYSTEM_TIME_NO_CHANGE = 4
} rcl_clock_change_t;

typedef struct rcl_time_jump_s
{
  rcl_clock_change_t clock_change;
  rcl_duration_t delta;
} rcl_time_jump_t;

typedef struct rcl_jump_threshold_s
{
  bool on_clock_change;
  rcl_duration_t min_forward;
  rcl_duration_t min_backward;
} rcl_jump_threshold_t;

/// A clock handle (rclcpp::Clock::get_clock_handle). Only the fields the stand-in needs: the
/// type and the clock's private storage (the ROS time override of an RCL_ROS_TIME clock).
typedef struct rcl_clock_s
{
  rcl_clock_type_t type;
  void * data;
} rcl_clock_t;

/// Make an RCL_ROS_TIME clock read the override value instead of the system time.
/// RCL_RET_INVALID_ARGUMENT for a null clock, RCL_RET_ERROR for another clock type.
rcl_ret_t rcl_enable_ros_time_override(rcl_clock_t * clock);

/// Let an RCL_ROS_TIME clock read the system time again; errors as for enabling.
rcl_ret_t rcl_disable_ros_time_override(rcl_clock_t * clock);

/// Whether the override is enabled; errors as for enabling (also for a null is_enabled).
rcl_ret_t rcl_is_enabled_ros_time_override(rcl_clock_t * clock, bool * is_enabled);

/// Set the override value (ns since the epoch); it takes effect while the override is enabled.
/// Jump callbacks are not called (see platform/README.md). Errors as for enabling.
rcl_ret_t rcl_set_ros_time_override(rcl_clock_t * clock, rcl_time_point_value_t time_value);

/// The clock's current time in ns.
rcl_ret_t rcl_clock_get_now(rcl_clock_t * clock, rcl_time_point_value_t * time_point_value);

#ifdef __cplusplus
}
#endif

#endif  // RCL__TIME_H_
