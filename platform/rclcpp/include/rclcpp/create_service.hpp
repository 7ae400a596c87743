#ifndef RCLCPP__CREATE_SERVICE_HPP_
#define RCLCPP__CREATE_SERVICE_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/service.hpp"
#include "rmw/qos_profiles.h"

namespace rclcpp {

/// Creates a service in group (nullptr: the node's default group); requests are served on the
/// executor that serves the group.
/// \throws rclcpp::exceptions::InvalidServiceNameError for an invalid name
template <typename ServiceT, typename CallbackT>
typename rclcpp::Service<ServiceT>::SharedPtr create_service(
    std::shared_ptr<node_interfaces::NodeBaseInterface> node_base,
    std::shared_ptr<node_interfaces::NodeServicesInterface> node_services,
    const std::string & service_name,
    CallbackT && callback,
    const rmw_qos_profile_t & qos_profile,
    rclcpp::CallbackGroup::SharedPtr group)
{
  rclcpp::AnyServiceCallback<ServiceT> any_service_callback;
  any_service_callback.set(std::forward<CallbackT>(callback));
  auto serv = Service<ServiceT>::make_shared(
      node_base.get(), service_name, any_service_callback, qos_profile);
  node_services->add_service(std::dynamic_pointer_cast<ServiceBase>(serv), group);
  return serv;
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_SERVICE_HPP_
