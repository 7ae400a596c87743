#ifndef RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_

#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/client.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

class NodeServicesInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeServicesInterface)

  RCLCPP_PUBLIC
  virtual ~NodeServicesInterface() = default;

  /// Adds the client to the group (nullptr: the default group).
  virtual void add_client(
      rclcpp::ClientBase::SharedPtr client_base_ptr, rclcpp::CallbackGroup::SharedPtr group) = 0;

  /// Adds the service to the group (nullptr: the default group).
  virtual void add_service(
      rclcpp::ServiceBase::SharedPtr service_base_ptr, rclcpp::CallbackGroup::SharedPtr group) = 0;

  virtual std::string resolve_service_name(
      const std::string & name, bool only_expand = false) const = 0;
};

class RCLCPP_PUBLIC NodeServices : public NodeServicesInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeServices)

  explicit NodeServices(rclcpp::node_interfaces::NodeBaseInterface * node_base);

  ~NodeServices() override;

  void add_client(
      rclcpp::ClientBase::SharedPtr client_base_ptr,
      rclcpp::CallbackGroup::SharedPtr group) override;

  void add_service(
      rclcpp::ServiceBase::SharedPtr service_base_ptr,
      rclcpp::CallbackGroup::SharedPtr group) override;

  std::string resolve_service_name(
      const std::string & name, bool only_expand = false) const override;

private:
  RCLCPP_DISABLE_COPY(NodeServices)

  rclcpp::node_interfaces::NodeBaseInterface * node_base_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_SERVICES_INTERFACE_HPP_
