// Accessors that take a node in any form (shared pointer, reference, raw pointer, or the
// interface itself) and return one of its interfaces, as the free create_* functions need.
#ifndef RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACE_HPP_

#include <memory>
#include <type_traits>
#include <utility>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"

namespace rclcpp {
namespace node_interfaces {
namespace detail {

template <typename T, typename = void>
struct has_arrow : std::false_type
{
};

template <typename T>
struct has_arrow<T, std::void_t<decltype(std::declval<T &>().operator->())>> : std::true_type
{
};

}  // namespace detail

#define RCLCPP_STANDIN_GET_NODE_INTERFACE(FUNCTION, INTERFACE)                              \
  template <typename NodeType>                                                              \
  std::shared_ptr<INTERFACE> FUNCTION(NodeType && node)                                     \
  {                                                                                         \
    using Decayed = std::decay_t<NodeType>;                                                 \
    if constexpr (std::is_convertible_v<Decayed, std::shared_ptr<INTERFACE>>) {             \
      return node;                                                                          \
    } else if constexpr (std::is_pointer_v<Decayed> || detail::has_arrow<Decayed>::value) { \
      return node->FUNCTION();                                                              \
    } else {                                                                                \
      return node.FUNCTION();                                                               \
    }                                                                                       \
  }

RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_base_interface, NodeBaseInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_clock_interface, NodeClockInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_graph_interface, NodeGraphInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_logging_interface, NodeLoggingInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_parameters_interface, NodeParametersInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_services_interface, NodeServicesInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_timers_interface, NodeTimersInterface)
RCLCPP_STANDIN_GET_NODE_INTERFACE(get_node_topics_interface, NodeTopicsInterface)

#undef RCLCPP_STANDIN_GET_NODE_INTERFACE

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__GET_NODE_INTERFACE_HPP_
