#ifndef RCLCPP__NODE_OPTIONS_HPP_
#define RCLCPP__NODE_OPTIONS_HPP_

#include <memory>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Options of a node. arguments() are parsed like a command line (ROS arguments inside
/// --ros-args); with use_global_arguments(true) the arguments given to rclcpp::init apply first.
class RCLCPP_PUBLIC NodeOptions
{
public:
  NodeOptions();

  NodeOptions(const NodeOptions & other) = default;
  NodeOptions & operator=(const NodeOptions & other) = default;

  rclcpp::Context::SharedPtr context() const;
  NodeOptions & context(rclcpp::Context::SharedPtr context);

  const std::vector<std::string> & arguments() const;
  NodeOptions & arguments(const std::vector<std::string> & arguments);

  std::vector<rclcpp::Parameter> & parameter_overrides();
  const std::vector<rclcpp::Parameter> & parameter_overrides() const;
  NodeOptions & parameter_overrides(const std::vector<rclcpp::Parameter> & parameter_overrides);

  template <typename ParameterT>
  NodeOptions & append_parameter_override(const std::string & name, const ParameterT & value)
  {
    this->parameter_overrides().emplace_back(name, rclcpp::ParameterValue(value));
    return *this;
  }

  bool use_global_arguments() const;
  NodeOptions & use_global_arguments(bool use_global_arguments);

  bool enable_rosout() const;
  NodeOptions & enable_rosout(bool enable_rosout);

  bool use_intra_process_comms() const;
  NodeOptions & use_intra_process_comms(bool use_intra_process_comms);

  bool enable_topic_statistics() const;
  NodeOptions & enable_topic_statistics(bool enable_topic_statistics);

  bool start_parameter_services() const;
  NodeOptions & start_parameter_services(bool start_parameter_services);

  bool start_parameter_event_publisher() const;
  NodeOptions & start_parameter_event_publisher(bool start_parameter_event_publisher);

  const rclcpp::QoS & clock_qos() const;
  NodeOptions & clock_qos(const rclcpp::QoS & clock_qos);

  bool use_clock_thread() const;
  NodeOptions & use_clock_thread(bool use_clock_thread);

  const rclcpp::QoS & parameter_event_qos() const;
  NodeOptions & parameter_event_qos(const rclcpp::QoS & parameter_event_qos);

  const rclcpp::QoS & rosout_qos() const;
  NodeOptions & rosout_qos(const rclcpp::QoS & rosout_qos);

  const rclcpp::PublisherOptionsBase & parameter_event_publisher_options() const;
  NodeOptions & parameter_event_publisher_options(
      const rclcpp::PublisherOptionsBase & parameter_event_publisher_options);

  bool allow_undeclared_parameters() const;
  NodeOptions & allow_undeclared_parameters(bool allow_undeclared_parameters);

  bool automatically_declare_parameters_from_overrides() const;
  NodeOptions & automatically_declare_parameters_from_overrides(
      bool automatically_declare_parameters_from_overrides);

private:
  rclcpp::Context::SharedPtr context_;
  std::vector<std::string> arguments_;
  std::vector<rclcpp::Parameter> parameter_overrides_;
  bool use_global_arguments_{true};
  bool enable_rosout_{true};
  bool use_intra_process_comms_{false};
  bool enable_topic_statistics_{false};
  bool start_parameter_services_{true};
  bool start_parameter_event_publisher_{true};
  rclcpp::QoS clock_qos_ = rclcpp::ClockQoS();
  bool use_clock_thread_{true};
  rclcpp::QoS parameter_event_qos_ = rclcpp::ParameterEventsQoS(
      rclcpp::QoSInitialization::from_rmw(rmw_qos_profile_parameter_events));
  rclcpp::QoS rosout_qos_ = rclcpp::RosoutQoS();
  rclcpp::PublisherOptionsBase parameter_event_publisher_options_ = rclcpp::PublisherOptionsBase();
  bool allow_undeclared_parameters_{false};
  bool automatically_declare_parameters_from_overrides_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__NODE_OPTIONS_HPP_
