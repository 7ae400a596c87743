#ifndef RCLCPP__NODE_HPP_
#define RCLCPP__NODE_HPP_

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/client.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_interfaces/node_services_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/qos_profiles.h"

namespace rclcpp {

/// A node: named entities (publishers, subscriptions, services, clients, timers) and
/// parameters, served by whichever executor the node is added to.
class RCLCPP_PUBLIC Node : public std::enable_shared_from_this<Node>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Node)

  /// \throws rclcpp::exceptions::InvalidNodeNameError / InvalidNamespaceError
  explicit Node(const std::string & node_name, const NodeOptions & options = NodeOptions());

  explicit Node(
      const std::string & node_name,
      const std::string & namespace_,
      const NodeOptions & options = NodeOptions());

  virtual ~Node();

  const char * get_name() const;

  const char * get_namespace() const;

  const char * get_fully_qualified_name() const;

  rclcpp::Logger get_logger() const;

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  void for_each_callback_group(
      const node_interfaces::NodeBaseInterface::CallbackGroupFunction & func);

  template <
      typename MessageT,
      typename AllocatorT = std::allocator<void>,
      typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>>
  std::shared_ptr<PublisherT> create_publisher(
      const std::string & topic_name,
      const rclcpp::QoS & qos,
      const PublisherOptionsWithAllocator<AllocatorT> & options =
          PublisherOptionsWithAllocator<AllocatorT>());

  template <
      typename MessageT,
      typename CallbackT,
      typename AllocatorT = std::allocator<void>,
      typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>>
  std::shared_ptr<SubscriptionT> create_subscription(
      const std::string & topic_name,
      const rclcpp::QoS & qos,
      CallbackT && callback,
      const SubscriptionOptionsWithAllocator<AllocatorT> & options =
          SubscriptionOptionsWithAllocator<AllocatorT>());

  template <typename DurationRepT = int64_t, typename DurationT = std::milli, typename CallbackT>
  typename rclcpp::WallTimer<CallbackT>::SharedPtr create_wall_timer(
      std::chrono::duration<DurationRepT, DurationT> period,
      CallbackT callback,
      rclcpp::CallbackGroup::SharedPtr group = nullptr);

  template <typename ServiceT>
  typename rclcpp::Client<ServiceT>::SharedPtr create_client(
      const std::string & service_name,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default,
      rclcpp::CallbackGroup::SharedPtr group = nullptr);

  template <typename ServiceT, typename CallbackT>
  typename rclcpp::Service<ServiceT>::SharedPtr create_service(
      const std::string & service_name,
      CallbackT && callback,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default,
      rclcpp::CallbackGroup::SharedPtr group = nullptr);

  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false);

  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name,
      rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor{},
      bool ignore_override = false);

  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name,
      const ParameterT & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false);

  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false);

  void undeclare_parameter(const std::string & name);

  bool has_parameter(const std::string & name) const;

  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter);

  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters);

  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters);

  rclcpp::Parameter get_parameter(const std::string & name) const;

  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  /// Reads a declared, initialised parameter into parameter. Returns false and leaves
  /// parameter unchanged when it is undeclared or uninitialised.
  /// \throws rclcpp::exceptions::InvalidParameterTypeException on a type mismatch
  template <typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const;

  template <typename ParameterT>
  bool get_parameter_or(
      const std::string & name, ParameterT & parameter, const ParameterT & alternative_value) const;

  template <typename ParameterT>
  ParameterT get_parameter_or(const std::string & name, const ParameterT & alternative_value) const;

  std::vector<rclcpp::Parameter> get_parameters(const std::vector<std::string> & names) const;

  template <typename ParameterT>
  bool get_parameters(const std::string & prefix, std::map<std::string, ParameterT> & values) const;

  rcl_interfaces::msg::ParameterDescriptor describe_parameter(const std::string & name) const;

  std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const;

  std::vector<uint8_t> get_parameter_types(const std::vector<std::string> & names) const;

  rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const;

  using OnSetParametersCallbackHandle = rclcpp::node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType =
      rclcpp::node_interfaces::NodeParametersInterface::OnParametersSetCallbackType;

  /// The node keeps a weak reference: releasing the handle unregisters the callback.
  [[nodiscard]] OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback);

  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler);

  size_t count_publishers(const std::string & topic_name) const;

  size_t count_subscribers(const std::string & topic_name) const;

  rclcpp::Clock::SharedPtr get_clock();

  rclcpp::Clock::ConstSharedPtr get_clock() const;

  Time now() const;

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr get_node_base_interface();
  rclcpp::node_interfaces::NodeClockInterface::SharedPtr get_node_clock_interface();
  rclcpp::node_interfaces::NodeGraphInterface::SharedPtr get_node_graph_interface();
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr get_node_logging_interface();
  rclcpp::node_interfaces::NodeTimersInterface::SharedPtr get_node_timers_interface();
  rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr get_node_topics_interface();
  rclcpp::node_interfaces::NodeServicesInterface::SharedPtr get_node_services_interface();
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr get_node_parameters_interface();

  const rclcpp::NodeOptions & get_node_options() const;

private:
  RCLCPP_DISABLE_COPY(Node)

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  rclcpp::node_interfaces::NodeGraphInterface::SharedPtr node_graph_;
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging_;
  rclcpp::node_interfaces::NodeTimersInterface::SharedPtr node_timers_;
  rclcpp::node_interfaces::NodeTopicsInterface::SharedPtr node_topics_;
  rclcpp::node_interfaces::NodeServicesInterface::SharedPtr node_services_;
  rclcpp::node_interfaces::NodeClockInterface::SharedPtr node_clock_;
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr node_parameters_;
  const rclcpp::NodeOptions node_options_;
};

}  // namespace rclcpp

#ifndef RCLCPP__NODE_IMPL_HPP_
#include "rclcpp/node_impl.hpp"
#endif

#endif  // RCLCPP__NODE_HPP_
