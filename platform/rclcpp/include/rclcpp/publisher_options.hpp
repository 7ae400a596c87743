#ifndef RCLCPP__PUBLISHER_OPTIONS_HPP_
#define RCLCPP__PUBLISHER_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp {

enum class IntraProcessSetting
{
  Enable,
  Disable,
  NodeDefault
};

/// Options of a publisher that do not depend on the allocator.
struct PublisherOptionsBase
{
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  bool use_default_callbacks = true;
  rclcpp::CallbackGroup::SharedPtr callback_group = nullptr;
  QosOverridingOptions qos_overriding_options;
};

template <typename Allocator>
struct PublisherOptionsWithAllocator : public PublisherOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  PublisherOptionsWithAllocator<Allocator>() {}

  explicit PublisherOptionsWithAllocator(const PublisherOptionsBase & publisher_options_base)
      : PublisherOptionsBase(publisher_options_base)
  {
  }
};

using PublisherOptions = PublisherOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_OPTIONS_HPP_
