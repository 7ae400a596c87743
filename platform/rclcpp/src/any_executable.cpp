#include "rclcpp/any_executable.hpp"

#include "rclcpp/detail/wake.hpp"

namespace rclcpp {

AnyExecutable::AnyExecutable() = default;

AnyExecutable::~AnyExecutable()
{
  // Work taken but never executed (the executor was canceled in between) must not keep its
  // mutually exclusive group blocked.
  if (callback_group && !callback_group->can_be_taken_from().exchange(true)) {
    detail::wake_all();
  }
}

}  // namespace rclcpp
