#ifndef LIFECYCLE_MSGS__SRV__CHANGE_STATE_HPP_
#define LIFECYCLE_MSGS__SRV__CHANGE_STATE_HPP_

#include <memory>

#include "lifecycle_msgs/msg/transition.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace lifecycle_msgs {
namespace srv {

struct ChangeState
{
  struct Request
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Request)

    lifecycle_msgs::msg::Transition transition;
  };

  struct Response
  {
    ROSIDL_STANDIN_POINTER_ALIASES(Response)

    bool success = false;
  };
};

}  // namespace srv
}  // namespace lifecycle_msgs

ROSIDL_STANDIN_SERVICE_TRAITS(lifecycle_msgs::srv::ChangeState, "lifecycle_msgs/srv/ChangeState")

#endif  // LIFECYCLE_MSGS__SRV__CHANGE_STATE_HPP_
