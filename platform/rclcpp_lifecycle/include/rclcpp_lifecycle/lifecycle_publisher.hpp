#ifndef RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_
#define RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/logging.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp_lifecycle/managed_entity.hpp"

namespace rclcpp_lifecycle {

/// A publisher that only publishes while activated. Publishing while inactive drops the
/// message and logs one WARN until the next activation.
template <typename MessageT, typename Alloc = std::allocator<void>>
class LifecyclePublisher : public SimpleManagedEntity, public rclcpp::Publisher<MessageT, Alloc>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(LifecyclePublisher)

  using MessageAllocTraits = std::allocator_traits<std::allocator<MessageT>>;
  using MessageAlloc = std::allocator<MessageT>;
  using MessageDeleter = std::default_delete<MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;
  using MessageSharedPtr = std::shared_ptr<MessageT>;

  LifecyclePublisher(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & topic,
      const rclcpp::QoS & qos,
      const rclcpp::PublisherOptionsWithAllocator<Alloc> & options)
      : rclcpp::Publisher<MessageT, Alloc>(node_base, topic, qos, options),
        should_log_(true),
        logger_(rclcpp::get_logger("LifecyclePublisher"))
  {
  }

  ~LifecyclePublisher() {}

  void publish(std::unique_ptr<MessageT, MessageDeleter> msg) override
  {
    if (!this->is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    rclcpp::Publisher<MessageT, Alloc>::publish(std::move(msg));
  }

  void publish(const MessageT & msg) override
  {
    if (!this->is_activated()) {
      log_publisher_not_enabled();
      return;
    }
    rclcpp::Publisher<MessageT, Alloc>::publish(msg);
  }

  void on_activate() override
  {
    SimpleManagedEntity::on_activate();
    should_log_.store(true);
  }

private:
  void log_publisher_not_enabled()
  {
    if (!should_log_.exchange(false)) {
      return;
    }
    RCLCPP_WARN(
        logger_,
        "Trying to publish message on the topic '%s', but the publisher is not activated",
        this->get_topic_name());
  }

  std::atomic<bool> should_log_;
  rclcpp::Logger logger_;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__LIFECYCLE_PUBLISHER_HPP_
