#ifndef BRINDLEX_VELNOR__SOURCE_SUBSCRIBER_HPP_
#define BRINDLEX_VELNOR__SOURCE_SUBSCRIBER_HPP_

#include <memory>
#include <string>

#include "brindlex_protocol/msg/semantic_point_cloud.hpp"
#include "brindlex_velnor/delivery_gate.hpp"
#include "message_filters/simple_filter.h"
#include "rclcpp/subscription.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "rmw/types.h"

namespace velnor {

/**
 * @brief The head of an observation source's filter chain: a SemanticPointCloud subscription
 * whose deliveries its owner can stop and wait for.
 *
 * Like message_filters::Subscriber it hands every message to its callbacks on the executor thread
 * that serves the subscription. An executor may still run a subscription's callback after the
 * subscription has been dropped (it took the message and holds its own reference to the
 * subscription), and message_filters::Subscriber's callback reaches its subscriber through a
 * plain pointer. Here every subscription's callback passes that subscription's own gate first:
 * unsubscribe() and the destructor close it and wait for the delivery under way, so once they
 * return no delivery of an earlier subscription is running and none starts.
 *
 * Threads: subscribe(), unsubscribe() and the destructor run on the owner's threads, one at a
 * time, never inside one of this subscriber's deliveries and never holding a lock that its
 * callbacks take.
 */
class SourceSubscriber
    : public message_filters::SimpleFilter<brindlex_protocol::msg::SemanticPointCloud>
{
public:
  using Message = brindlex_protocol::msg::SemanticPointCloud;

  SourceSubscriber() = default;

  /// Unsubscribes (waiting for a delivery under way).
  ~SourceSubscriber();

  /// Remember the node, topic and QoS, then subscribe; an empty topic never subscribes.
  void subscribe(
      const std::shared_ptr<rclcpp_lifecycle::LifecycleNode> & node,
      const std::string & topic,
      const rmw_qos_profile_t & qos);

  /// Subscribe again as last asked; nothing while the node is gone or the topic is empty.
  void subscribe();

  /// Drop the subscription and wait for its delivery under way.
  void unsubscribe();

  const std::string & getTopic() const { return topic; }

  /// The current subscription; empty while unsubscribed.
  const rclcpp::Subscription<Message>::SharedPtr & getSubscriber() const { return subscription; }

private:
  std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::string topic;
  rmw_qos_profile_t qos{rmw_qos_profile_default};
  rclcpp::Subscription<Message>::SharedPtr subscription;
  std::shared_ptr<DeliveryGate> gate;  ///< the gate of `subscription`
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__SOURCE_SUBSCRIBER_HPP_
