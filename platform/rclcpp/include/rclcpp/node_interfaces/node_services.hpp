#ifndef RCLCPP__NODE_INTERFACES__NODE_SERVICES_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_SERVICES_HPP_

#include "rclcpp/node_interfaces/node_services_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_SERVICES_HPP_
