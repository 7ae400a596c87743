#ifndef RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/parameter.hpp"

namespace rclcpp {
namespace node_interfaces {

/// The parameters of one node.
///
/// One recursive mutex guards everything. The on-set callbacks run with it held, on the thread
/// that declares or sets, so a callback may read parameters; declaring, setting or changing the
/// callbacks from inside a callback throws ParameterModifiedInCallbackException.
/// No parameter services and no /parameter_events publisher.
class NodeParameters : public NodeParametersInterface
{
public:
  using SharedPtr = std::shared_ptr<NodeParameters>;
  using ConstSharedPtr = std::shared_ptr<const NodeParameters>;
  using WeakPtr = std::weak_ptr<NodeParameters>;
  using ConstWeakPtr = std::weak_ptr<const NodeParameters>;
  using UniquePtr = std::unique_ptr<NodeParameters>;

  /// parameter_overrides are the node's initial values, already merged in precedence order
  /// (a later entry of the same name wins).
  NodeParameters(
      const std::string & node_fully_qualified_name,
      const std::vector<rclcpp::Parameter> & parameter_overrides,
      bool allow_undeclared_parameters,
      bool automatically_declare_parameters_from_overrides);

  ~NodeParameters() override;

  NodeParameters(const NodeParameters &) = delete;
  NodeParameters & operator=(const NodeParameters &) = delete;

  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor{},
      bool ignore_override = false) override;

  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) override;

  void undeclare_parameter(const std::string & name) override;

  bool has_parameter(const std::string & name) const override;

  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters) override;

  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters) override;

  std::vector<rclcpp::Parameter> get_parameters(
      const std::vector<std::string> & names) const override;

  rclcpp::Parameter get_parameter(const std::string & name) const override;

  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const override;

  bool get_parameters_by_prefix(
      const std::string & prefix,
      std::map<std::string, rclcpp::Parameter> & parameters) const override;

  std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const override;

  std::vector<uint8_t> get_parameter_types(const std::vector<std::string> & names) const override;

  rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const override;

  OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback) override;

  void remove_on_set_parameters_callback(
      const OnSetParametersCallbackHandle * const handler) override;

  const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const override;

  using OnSetCallbacksHandleContainer = std::list<OnSetParametersCallbackHandle::WeakPtr>;

private:
  const rclcpp::ParameterValue & declare_parameter_locked(
      const std::string & name,
      rclcpp::ParameterType type,
      const rclcpp::ParameterValue & default_value,
      rcl_interfaces::msg::ParameterDescriptor descriptor,
      bool ignore_override);

  rcl_interfaces::msg::SetParametersResult call_on_set_callbacks(
      const std::vector<rclcpp::Parameter> & parameters);

  mutable std::recursive_mutex mutex_;
  // False while a set or declare runs its callbacks.
  bool parameter_modification_enabled_{true};
  const std::string combined_name_;
  const bool allow_undeclared_;
  std::map<std::string, rclcpp::ParameterValue> parameter_overrides_;
  std::map<std::string, ParameterInfo> parameters_;
  OnSetCallbacksHandleContainer on_set_parameters_callback_container_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_
