#ifndef RCLCPP__NODE_INTERFACES__NODE_TIMERS_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_TIMERS_HPP_

#include "rclcpp/node_interfaces/node_timers_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_TIMERS_HPP_
