#ifndef RCLCPP__NODE_INTERFACES__NODE_TOPICS_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_TOPICS_HPP_

#include "rclcpp/node_interfaces/node_topics_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_TOPICS_HPP_
