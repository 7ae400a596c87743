// The filter at the head of a chain: a topic subscription.
#ifndef MESSAGE_FILTERS__SUBSCRIBER_H_
#define MESSAGE_FILTERS__SUBSCRIBER_H_

#include <memory>
#include <stdexcept>
#include <string>

#include "message_filters/connection.h"
#include "message_filters/simple_filter.h"
#include "rclcpp/rclcpp.hpp"

namespace message_filters {

template <class NodeType = rclcpp::Node>
class SubscriberBase
{
public:
  typedef std::shared_ptr<NodeType> NodePtr;

  virtual ~SubscriberBase() = default;

  virtual void subscribe(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default) = 0;

  virtual void subscribe(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default) = 0;

  virtual void subscribe(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options)
  {
    this->subscribe(node.get(), topic, qos, options);
  }

  virtual void subscribe(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options) = 0;

  /// Subscribes again with the last topic, QoS and options.
  virtual void subscribe() = 0;

  virtual void unsubscribe() = 0;
};

template <typename T>
using SubscriberBasePtr = std::shared_ptr<SubscriberBase<T>>;

/// Subscribes a topic on a node and passes every message to its callbacks (on the executor
/// thread that serves the subscription). An empty topic never subscribes.
template <class M, class NodeType = rclcpp::Node>
class Subscriber : public SubscriberBase<NodeType>, public SimpleFilter<M>
{
public:
  typedef std::shared_ptr<NodeType> NodePtr;
  typedef MessageEvent<M const> EventType;

  Subscriber(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default)
  {
    subscribe(node, topic, qos);
  }

  Subscriber(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default)
  {
    subscribe(node, topic, qos);
  }

  Subscriber(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options)
  {
    subscribe(node.get(), topic, qos, options);
  }

  Subscriber(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options)
  {
    subscribe(node, topic, qos, options);
  }

  /// Not subscribed until subscribe() is called.
  Subscriber() = default;

  ~Subscriber() override { unsubscribe(); }

  void subscribe(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default) override
  {
    subscribe(node.get(), topic, qos, rclcpp::SubscriptionOptions());
    node_raw_ = nullptr;
    node_shared_ = node;
  }

  void subscribe(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos = rmw_qos_profile_default) override
  {
    subscribe(node, topic, qos, rclcpp::SubscriptionOptions());
  }

  void subscribe(
      NodePtr node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options) override
  {
    subscribe(node.get(), topic, qos, options);
    node_raw_ = nullptr;
    node_shared_ = node;
  }

  /// Unsubscribes first; with an empty topic does nothing more and remembers nothing.
  void subscribe(
      NodeType * node,
      const std::string & topic,
      const rmw_qos_profile_t qos,
      rclcpp::SubscriptionOptions options) override
  {
    unsubscribe();

    if (!topic.empty()) {
      topic_ = topic;
      rclcpp::QoS rclcpp_qos(rclcpp::QoSInitialization::from_rmw(qos));
      rclcpp_qos.get_rmw_qos_profile() = qos;
      qos_ = qos;
      options_ = options;
      sub_ = node->template create_subscription<M>(
          topic,
          rclcpp_qos,
          [this](std::shared_ptr<M const> msg) { this->cb(EventType(msg)); },
          options);
      node_raw_ = node;
    }
  }

  void subscribe() override
  {
    if (!topic_.empty()) {
      if (node_raw_ != nullptr) {
        subscribe(node_raw_, topic_, qos_, options_);
      } else if (node_shared_ != nullptr) {
        subscribe(node_shared_, topic_, qos_, options_);
      }
    }
  }

  /// Drops the subscription; messages not yet taken are not delivered.
  void unsubscribe() override { sub_.reset(); }

  std::string getTopic() const { return this->topic_; }

  const typename rclcpp::Subscription<M>::SharedPtr getSubscriber() const { return sub_; }

  /// A subscriber has no input.
  template <typename F>
  void connectInput(F & f)
  {
    (void)f;
  }

  void add(const EventType & e) { (void)e; }

private:
  void cb(const EventType & e) { this->signalMessage(e); }

  typename rclcpp::Subscription<M>::SharedPtr sub_;
  NodePtr node_shared_;
  NodeType * node_raw_{nullptr};
  std::string topic_;
  rmw_qos_profile_t qos_ = rmw_qos_profile_default;
  rclcpp::SubscriptionOptions options_;
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__SUBSCRIBER_H_
