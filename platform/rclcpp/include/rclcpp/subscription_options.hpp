#ifndef RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
#define RCLCPP__SUBSCRIPTION_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp {

/// Options of a subscription that do not depend on the allocator.
struct SubscriptionOptionsBase
{
  bool use_default_callbacks = true;
  bool ignore_local_publications = false;
  /// Group whose executor runs the callback; nullptr: the node's default group.
  rclcpp::CallbackGroup::SharedPtr callback_group = nullptr;
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  QosOverridingOptions qos_overriding_options;
};

template <typename Allocator>
struct SubscriptionOptionsWithAllocator : public SubscriptionOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  SubscriptionOptionsWithAllocator<Allocator>() {}

  explicit SubscriptionOptionsWithAllocator(
      const SubscriptionOptionsBase & subscription_options_base)
      : SubscriptionOptionsBase(subscription_options_base)
  {
  }
};

using SubscriptionOptions = SubscriptionOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
