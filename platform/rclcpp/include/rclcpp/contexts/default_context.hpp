#ifndef RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_
#define RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_

#include <memory>

#include "rclcpp/context.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace contexts {

class RCLCPP_PUBLIC DefaultContext : public rclcpp::Context
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(DefaultContext)

  DefaultContext();
};

/// The process-wide context used when none is given.
RCLCPP_PUBLIC
DefaultContext::SharedPtr get_global_default_context();

}  // namespace contexts
}  // namespace rclcpp

#endif  // RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_
