#include "brindlex_velnor/source_subscriber.hpp"

#include <utility>

#include "rclcpp/qos.hpp"

namespace velnor {

SourceSubscriber::~SourceSubscriber() { unsubscribe(); }

void SourceSubscriber::subscribe(
    const std::shared_ptr<rclcpp_lifecycle::LifecycleNode> & owner,
    const std::string & topic_name,
    const rmw_qos_profile_t & profile)
{
  node = owner;
  topic = topic_name;
  qos = profile;
  subscribe();
}

void SourceSubscriber::subscribe()
{
  unsubscribe();
  auto locked = node.lock();
  if (!locked || topic.empty()) {
    return;
  }
  rclcpp::QoS subscription_qos(rclcpp::QoSInitialization::from_rmw(qos));
  subscription_qos.get_rmw_qos_profile() = qos;
  // Each subscription gets a gate of its own, so a delivery of an earlier one that an executor
  // runs late finds its gate closed for good, also after a later subscribe.
  auto subscription_gate = std::make_shared<DeliveryGate>();
  subscription = locked->create_subscription<Message>(
      topic, subscription_qos, [this, subscription_gate](std::shared_ptr<const Message> message) {
        // `this` is used only inside the pass: unsubscribe() waits for it before this
        // subscriber can go.
        DeliveryGate::Pass pass(*subscription_gate);
        if (pass) {
          signalMessage(message);
        }
      });
  gate = std::move(subscription_gate);
}

void SourceSubscriber::unsubscribe()
{
  subscription.reset();
  if (gate) {
    gate->close();
    gate.reset();
  }
}

}  // namespace velnor
