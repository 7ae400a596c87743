#ifndef RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/parameter.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Value and descriptor of one declared parameter.
struct ParameterInfo
{
  rclcpp::ParameterValue value;
  rcl_interfaces::msg::ParameterDescriptor descriptor;
};

/// Registration of an on-set-parameters callback. The node keeps only a weak pointer: releasing
/// the last shared pointer unregisters the callback.
struct OnSetParametersCallbackHandle
{
  using SharedPtr = std::shared_ptr<OnSetParametersCallbackHandle>;
  using ConstSharedPtr = std::shared_ptr<const OnSetParametersCallbackHandle>;
  using WeakPtr = std::weak_ptr<OnSetParametersCallbackHandle>;
  using ConstWeakPtr = std::weak_ptr<const OnSetParametersCallbackHandle>;
  using UniquePtr = std::unique_ptr<OnSetParametersCallbackHandle>;

  using OnParametersSetCallbackType = std::function<rcl_interfaces::msg::SetParametersResult(
      const std::vector<rclcpp::Parameter> &)>;

  OnParametersSetCallbackType callback;
};

/// Parameter part of the node API.
class NodeParametersInterface
{
public:
  using SharedPtr = std::shared_ptr<NodeParametersInterface>;
  using ConstSharedPtr = std::shared_ptr<const NodeParametersInterface>;
  using WeakPtr = std::weak_ptr<NodeParametersInterface>;
  using ConstWeakPtr = std::weak_ptr<const NodeParametersInterface>;
  using UniquePtr = std::unique_ptr<NodeParametersInterface>;

  virtual ~NodeParametersInterface() = default;

  /// Declares a parameter with a default value (replaced by an override unless ignore_override).
  /// \sa rclcpp::Node::declare_parameter
  virtual const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) = 0;

  /// Declares a statically typed parameter; without an override it stays uninitialised.
  /// \sa rclcpp::Node::declare_parameter
  virtual const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) = 0;

  virtual void undeclare_parameter(const std::string & name) = 0;

  /// True for every declared parameter, initialised or not.
  virtual bool has_parameter(const std::string & name) const = 0;

  /// Sets each parameter on its own, one result per parameter.
  virtual std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters) = 0;

  /// Sets all the parameters or none.
  virtual rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters) = 0;

  virtual std::vector<rclcpp::Parameter> get_parameters(
      const std::vector<std::string> & names) const = 0;

  /// Throws ParameterNotDeclaredException or ParameterUninitializedException.
  virtual rclcpp::Parameter get_parameter(const std::string & name) const = 0;

  /// False (parameter untouched) when not declared or not initialised.
  virtual bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const = 0;

  /// Parameters named "<prefix>.<rest>", keyed by <rest>; false when there is none.
  virtual bool get_parameters_by_prefix(
      const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const = 0;

  virtual std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const = 0;

  virtual std::vector<uint8_t> get_parameter_types(
      const std::vector<std::string> & names) const = 0;

  virtual rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const = 0;

  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;

  /// Registers a callback that may reject parameter changes; the newest runs first.
  virtual OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback) = 0;

  /// Throws std::runtime_error when the handle is not registered.
  virtual void remove_on_set_parameters_callback(
      const OnSetParametersCallbackHandle * const handler) = 0;

  /// Initial values (from the command line, params files and NodeOptions) by parameter name.
  virtual const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
