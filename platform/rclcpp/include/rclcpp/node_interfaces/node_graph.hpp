#ifndef RCLCPP__NODE_INTERFACES__NODE_GRAPH_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_GRAPH_HPP_

#include "rclcpp/node_interfaces/node_graph_interface.hpp"

#endif  // RCLCPP__NODE_INTERFACES__NODE_GRAPH_HPP_
