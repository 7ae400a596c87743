#ifndef RCLCPP__MESSAGE_INFO_HPP_
#define RCLCPP__MESSAGE_INFO_HPP_

#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

/// Metadata of a received message.
class RCLCPP_PUBLIC MessageInfo
{
public:
  MessageInfo() : rmw_message_info_() {}

  explicit MessageInfo(const rmw_message_info_t & rmw_message_info)
      : rmw_message_info_(rmw_message_info)
  {
  }

  const rmw_message_info_t & get_rmw_message_info() const { return rmw_message_info_; }

  rmw_message_info_t & get_rmw_message_info() { return rmw_message_info_; }

private:
  rmw_message_info_t rmw_message_info_;
};

}  // namespace rclcpp

#endif  // RCLCPP__MESSAGE_INFO_HPP_
