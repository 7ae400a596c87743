#ifndef BRINDLEX_NAV2_PROTOCOL__SRV__TRIGGER_CLEAN_COVERAGE_HPP_
#define BRINDLEX_NAV2_PROTOCOL__SRV__TRIGGER_CLEAN_COVERAGE_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/traits.hpp"

namespace brindlex_nav2_protocol {
namespace srv {

struct TriggerCleanCoverage_Request
{
  ROSIDL_STANDIN_POINTER_ALIASES(TriggerCleanCoverage_Request)

  bool enable = false;
  int32_t path_overlap_distance = 0;

  bool operator==(const TriggerCleanCoverage_Request & other) const
  {
    return enable == other.enable && path_overlap_distance == other.path_overlap_distance;
  }
  bool operator!=(const TriggerCleanCoverage_Request & other) const { return !(*this == other); }
};

struct TriggerCleanCoverage_Response
{
  ROSIDL_STANDIN_POINTER_ALIASES(TriggerCleanCoverage_Response)

  bool success = false;

  bool operator==(const TriggerCleanCoverage_Response & other) const
  {
    return success == other.success;
  }
  bool operator!=(const TriggerCleanCoverage_Response & other) const { return !(*this == other); }
};

struct TriggerCleanCoverage
{
  using Request = TriggerCleanCoverage_Request;
  using Response = TriggerCleanCoverage_Response;
};

}  // namespace srv
}  // namespace brindlex_nav2_protocol

ROSIDL_STANDIN_SERVICE_TRAITS(
    brindlex_nav2_protocol::srv::TriggerCleanCoverage,
    "brindlex_nav2_protocol/srv/TriggerCleanCoverage")

#endif  // BRINDLEX_NAV2_PROTOCOL__SRV__TRIGGER_CLEAN_COVERAGE_HPP_
