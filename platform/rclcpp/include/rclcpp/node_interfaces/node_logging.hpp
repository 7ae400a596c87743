#ifndef RCLCPP__NODE_INTERFACES__NODE_LOGGING_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_LOGGING_HPP_

#include "rclcpp/node_interfaces/node_logging_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_LOGGING_HPP_
