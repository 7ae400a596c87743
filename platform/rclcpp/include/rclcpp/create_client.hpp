#ifndef RCLCPP__CREATE_CLIENT_HPP_
#define RCLCPP__CREATE_CLIENT_HPP_

#include <memory>
#include <string>

#include "rclcpp/client.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rmw/qos_profiles.h"

namespace rclcpp {

/// Creates a client in group (nullptr: the node's default group); responses are handled on
/// the executor that serves the group.
template <typename ServiceT>
typename rclcpp::Client<ServiceT>::SharedPtr create_client(
    std::shared_ptr<node_interfaces::NodeBaseInterface> node_base,
    std::shared_ptr<node_interfaces::NodeGraphInterface> node_graph,
    std::shared_ptr<node_interfaces::NodeServicesInterface> node_services,
    const std::string & service_name,
    const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
{
  auto cli =
      rclcpp::Client<ServiceT>::make_shared(node_base.get(), node_graph, service_name, qos_profile);
  node_services->add_client(std::dynamic_pointer_cast<ClientBase>(cli), group);
  return cli;
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_CLIENT_HPP_
