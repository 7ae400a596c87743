// Return codes of the client support library.
#ifndef RCL__TYPES_H_
#define RCL__TYPES_H_

#include <stdbool.h>

#include "rmw/types.h"

typedef rmw_ret_t rcl_ret_t;
#define RCL_RET_OK RMW_RET_OK
#define RCL_RET_ERROR RMW_RET_ERROR
#define RCL_RET_TIMEOUT RMW_RET_TIMEOUT
#define RCL_RET_INVALID_ARGUMENT 11

#endif  // RCL__TYPES_H_
