#ifndef RCLCPP__CREATE_PUBLISHER_HPP_
#define RCLCPP__CREATE_PUBLISHER_HPP_

#include <memory>
#include <string>

#include "rclcpp/node_interfaces/get_node_interface.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp {

/// Creates a publisher of PublisherT on the node's topics interface.
/// \throws rclcpp::exceptions::InvalidTopicNameError for an invalid (e.g. empty) topic name
template <
    typename MessageT,
    typename AllocatorT = std::allocator<void>,
    typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>,
    typename NodeT>
std::shared_ptr<PublisherT> create_publisher(
    NodeT && node,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::PublisherOptionsWithAllocator<AllocatorT>()))
{
  auto node_topics = rclcpp::node_interfaces::get_node_topics_interface(std::forward<NodeT>(node));
  auto publisher = std::make_shared<PublisherT>(
      node_topics->get_node_base_interface(), topic_name, qos, options);
  node_topics->add_publisher(publisher, options.callback_group);
  return publisher;
}

/// Same, from explicit parameters and topics interfaces.
template <
    typename MessageT,
    typename AllocatorT = std::allocator<void>,
    typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>,
    typename NodeParametersT,
    typename NodeTopicsT>
std::shared_ptr<PublisherT> create_publisher(
    NodeParametersT & node_parameters,
    NodeTopicsT & node_topics,
    const std::string & topic_name,
    const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::PublisherOptionsWithAllocator<AllocatorT>()))
{
  (void)node_parameters;
  return create_publisher<MessageT, AllocatorT, PublisherT>(node_topics, topic_name, qos, options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_PUBLISHER_HPP_
