#ifndef RCLCPP__NODE_INTERFACES__NODE_CLOCK_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_CLOCK_HPP_

#include "rclcpp/node_interfaces/node_clock_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_CLOCK_HPP_
