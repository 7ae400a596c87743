// Umbrella header of the middleware interface subset.
#ifndef RMW__RMW_H_
#define RMW__RMW_H_

#include "rmw/qos_profiles.h"
#include "rmw/time.h"
#include "rmw/types.h"

#endif  // RMW__RMW_H_
