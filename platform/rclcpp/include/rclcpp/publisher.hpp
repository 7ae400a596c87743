#ifndef RCLCPP__PUBLISHER_HPP_
#define RCLCPP__PUBLISHER_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

/// A publisher of messages of type MessageT.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class Publisher : public PublisherBase
{
public:
  using MessageAllocatorTraits = std::allocator_traits<std::allocator<MessageT>>;
  using MessageAllocator = std::allocator<MessageT>;
  using MessageDeleter = std::default_delete<MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;
  using MessageSharedPtr = std::shared_ptr<const MessageT>;
  using PublishedType = MessageT;
  using ROSMessageType = MessageT;

  RCLCPP_SMART_PTR_DEFINITIONS(Publisher<MessageT, AllocatorT>)

  Publisher(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & topic,
      const rclcpp::QoS & qos,
      const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
      : PublisherBase(node_base, topic, rosidl_generator_traits::name<MessageT>(), qos),
        options_(options)
  {
  }

  virtual ~Publisher() {}

  /// Publishes the message; the publisher gives up ownership.
  virtual void publish(std::unique_ptr<MessageT, MessageDeleter> msg)
  {
    if (!msg) {
      throw std::invalid_argument("cannot publish a null message");
    }
    this->do_publish(detail::ErasedMessage(std::shared_ptr<const MessageT>(std::move(msg))));
  }

  /// Publishes a copy of the message.
  virtual void publish(const MessageT & msg)
  {
    this->do_publish(detail::ErasedMessage(std::make_shared<const MessageT>(msg)));
  }

protected:
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_HPP_
