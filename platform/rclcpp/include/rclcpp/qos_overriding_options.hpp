#ifndef RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_
#define RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp {

enum class QosPolicyKind
{
  AvoidRosNamespaceConventions = 1,
  Deadline = 2,
  Depth = 3,
  Durability = 4,
  History = 5,
  Lifespan = 6,
  Liveliness = 7,
  LivelinessLeaseDuration = 8,
  Reliability = 9,
  Invalid = 0,
};

using QosCallbackResult = rcl_interfaces::msg::SetParametersResult;
using QosCallback = std::function<QosCallbackResult(const rclcpp::QoS &)>;

/// Which QoS policies may be overridden through parameters. Stored only: the stand-in does not
/// declare QoS override parameters.
class QosOverridingOptions
{
public:
  QosOverridingOptions() = default;

  QosOverridingOptions(
      std::initializer_list<QosPolicyKind> policy_kinds,
      QosCallback validation_callback = nullptr,
      std::string id = {})
      : id_(std::move(id)), policy_kinds_(policy_kinds), validation_callback_(validation_callback)
  {
  }

  static QosOverridingOptions with_default_policies(
      QosCallback validation_callback = nullptr, std::string id = {})
  {
    return QosOverridingOptions{
        {QosPolicyKind::History, QosPolicyKind::Depth, QosPolicyKind::Reliability},
        validation_callback,
        std::move(id)};
  }

  const std::string & get_id() const { return id_; }

  const std::vector<QosPolicyKind> & get_policy_kinds() const { return policy_kinds_; }

  const QosCallback & get_validation_callback() const { return validation_callback_; }

private:
  std::string id_;
  std::vector<QosPolicyKind> policy_kinds_;
  QosCallback validation_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_
