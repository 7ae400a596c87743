#ifndef LIFECYCLE_MSGS__SRV__GET_STATE_HPP_
#define LIFECYCLE_MSGS__SRV__GET_STATE_HPP_

#include <memory>

#include "lifecycle_msgs/msg/state.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace lifecycle_msgs {
namespace srv {

struct GetState
{
  struct Request
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Request)
  };

  struct Response
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Response)

    lifecycle_msgs::msg::State current_state;
  };
};

}  // namespace srv
}  // namespace lifecycle_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(lifecycle_msgs::srv::GetState, "lifecycle_msgs/srv/GetState")

#endif  // LIFECYCLE_MSGS__SRV__GET_STATE_HPP_
