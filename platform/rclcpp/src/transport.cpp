#include "rclcpp/detail/transport.hpp"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace rclcpp {
namespace detail {

MessageQueue::MessageQueue(const rmw_qos_profile_t & qos)
    : depth_(qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL ? 0 : (qos.depth == 0 ? 1 : qos.depth))
{
}

void MessageQueue::push(ErasedMessage message)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiters_ > handed_over_.size()) {
      handed_over_.push_back(std::move(message));
      condition_.notify_all();
      return;
    }
    queue_.push_back(std::move(message));
    if (depth_ != 0) {
      while (queue_.size() > depth_) {
        queue_.pop_front();
      }
    }
  }
  wake_all();
}

bool MessageQueue::pop(ErasedMessage & message)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) {
    return false;
  }
  message = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

bool MessageQueue::has_message() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty();
}

size_t MessageQueue::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void MessageQueue::clear()
{
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

bool MessageQueue::wait_and_take(
    ErasedMessage & message, std::chrono::steady_clock::time_point deadline)
{
  std::unique_lock<std::mutex> lock(mutex_);
  if (!queue_.empty()) {
    message = std::move(queue_.front());
    queue_.pop_front();
    return true;
  }
  const uint64_t seen = interrupts_;
  ++waiters_;
  auto ready = [this, seen]() { return !handed_over_.empty() || interrupts_ != seen; };
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    condition_.wait(lock, ready);
  } else {
    condition_.wait_until(lock, deadline, ready);
  }
  --waiters_;
  if (!handed_over_.empty()) {
    message = std::move(handed_over_.front());
    handed_over_.pop_front();
    return true;
  }
  return false;
}

void MessageQueue::interrupt()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++interrupts_;
    // A message handed to a waiter that gave up goes back to the executor's queue.
    while (!handed_over_.empty() && handed_over_.size() > waiters_) {
      queue_.push_back(std::move(handed_over_.back()));
      handed_over_.pop_back();
    }
  }
  condition_.notify_all();
}

namespace {

rmw_qos_reliability_policy_t effective_reliability(const rmw_qos_profile_t & qos)
{
  return qos.reliability == RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT
             ? RMW_QOS_POLICY_RELIABILITY_RELIABLE
             : qos.reliability;
}

rmw_qos_durability_policy_t effective_durability(const rmw_qos_profile_t & qos)
{
  return qos.durability == RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT
             ? RMW_QOS_POLICY_DURABILITY_VOLATILE
             : qos.durability;
}

struct PublisherRecord
{
  std::string topic;
  std::string type;
  rmw_qos_profile_t qos;
  std::deque<ErasedMessage> history;  // transient local only
  size_t history_depth{0};            // 0: unbounded
};

struct SubscriptionRecord
{
  std::string topic;
  std::string type;
  rmw_qos_profile_t qos;
  std::shared_ptr<MessageQueue> queue;
};

struct ServiceRecord
{
  std::string name;
  std::string type;
  std::shared_ptr<RequestQueue> queue;
};

bool matches(const PublisherRecord & pub, const SubscriptionRecord & sub)
{
  return pub.topic == sub.topic && pub.type == sub.type && qos_compatible(pub.qos, sub.qos);
}

bool is_transient_local(const rmw_qos_profile_t & qos)
{
  return effective_durability(qos) == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
}

/// All endpoints of the process. One mutex; lock order: registry before any queue.
struct Registry
{
  std::mutex mutex;
  std::map<uint64_t, PublisherRecord> publishers;
  std::map<uint64_t, SubscriptionRecord> subscriptions;
  std::map<uint64_t, ServiceRecord> services;
};

Registry & registry()
{
  // Leaked: entities owned by static objects may unregister during exit.
  static Registry * instance = new Registry();
  return *instance;
}

}  // namespace

bool qos_compatible(const rmw_qos_profile_t & offered, const rmw_qos_profile_t & requested)
{
  if (effective_reliability(offered) == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT &&
      effective_reliability(requested) == RMW_QOS_POLICY_RELIABILITY_RELIABLE) {
    return false;
  }
  if (effective_durability(offered) == RMW_QOS_POLICY_DURABILITY_VOLATILE &&
      effective_durability(requested) == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
    return false;
  }
  return true;
}

uint64_t next_unique_id()
{
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}

uint64_t register_publisher(
    const std::string & topic, const std::string & type, const rmw_qos_profile_t & qos)
{
  PublisherRecord record;
  record.topic = topic;
  record.type = type;
  record.qos = qos;
  record.history_depth =
      qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL ? 0 : (qos.depth == 0 ? 1 : qos.depth);
  const uint64_t id = next_unique_id();
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.publishers.emplace(id, std::move(record));
  }
  wake_all();
  return id;
}

void unregister_publisher(uint64_t publisher_id)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.publishers.erase(publisher_id);
}

void publish(uint64_t publisher_id, const ErasedMessage & message)
{
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.publishers.find(publisher_id);
    if (it == r.publishers.end()) {
      return;
    }
    PublisherRecord & pub = it->second;
    if (is_transient_local(pub.qos)) {
      pub.history.push_back(message);
      if (pub.history_depth != 0) {
        while (pub.history.size() > pub.history_depth) {
          pub.history.pop_front();
        }
      }
    }
    // Pushing under the registry lock keeps one publisher's messages in order for every
    // subscription, whichever threads publish.
    for (auto & entry : r.subscriptions) {
      if (matches(pub, entry.second)) {
        entry.second.queue->push(message);
      }
    }
  }
  wake_all();
}

size_t matched_subscription_count(uint64_t publisher_id)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.publishers.find(publisher_id);
  if (it == r.publishers.end()) {
    return 0;
  }
  size_t count = 0;
  for (const auto & entry : r.subscriptions) {
    if (matches(it->second, entry.second)) {
      ++count;
    }
  }
  return count;
}

uint64_t register_subscription(
    const std::string & topic,
    const std::string & type,
    const rmw_qos_profile_t & qos,
    const std::shared_ptr<MessageQueue> & queue)
{
  SubscriptionRecord record;
  record.topic = topic;
  record.type = type;
  record.qos = qos;
  record.queue = queue;
  const uint64_t id = next_unique_id();
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (is_transient_local(qos)) {
      for (const auto & entry : r.publishers) {
        const PublisherRecord & pub = entry.second;
        if (matches(pub, record)) {
          for (const auto & message : pub.history) {
            queue->push(message);
          }
        }
      }
    }
    r.subscriptions.emplace(id, std::move(record));
  }
  wake_all();
  return id;
}

void unregister_subscription(uint64_t subscription_id)
{
  std::shared_ptr<MessageQueue> queue;
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.subscriptions.find(subscription_id);
    if (it == r.subscriptions.end()) {
      return;
    }
    queue = it->second.queue;
    r.subscriptions.erase(it);
  }
  queue->clear();
}

size_t matched_publisher_count(uint64_t subscription_id)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.subscriptions.find(subscription_id);
  if (it == r.subscriptions.end()) {
    return 0;
  }
  size_t count = 0;
  for (const auto & entry : r.publishers) {
    if (matches(entry.second, it->second)) {
      ++count;
    }
  }
  return count;
}

size_t count_publishers(const std::string & topic)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  size_t count = 0;
  for (const auto & entry : r.publishers) {
    count += entry.second.topic == topic ? 1 : 0;
  }
  return count;
}

size_t count_subscribers(const std::string & topic)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  size_t count = 0;
  for (const auto & entry : r.subscriptions) {
    count += entry.second.topic == topic ? 1 : 0;
  }
  return count;
}

uint64_t register_service(
    const std::string & name, const std::string & type, const std::shared_ptr<RequestQueue> & queue)
{
  const uint64_t id = next_unique_id();
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.services.emplace(id, ServiceRecord{name, type, queue});
  }
  wake_all();
  return id;
}

void unregister_service(uint64_t service_id)
{
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.services.erase(service_id);
  }
  wake_all();
}

bool service_available(const std::string & name, const std::string & type)
{
  Registry & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (const auto & entry : r.services) {
    if (entry.second.name == name && entry.second.type == type) {
      return true;
    }
  }
  return false;
}

bool send_request(const std::string & name, const std::string & type, ServiceRequest request)
{
  std::shared_ptr<RequestQueue> queue;
  {
    Registry & r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const auto & entry : r.services) {
      if (entry.second.name == name && entry.second.type == type) {
        queue = entry.second.queue;
        break;
      }
    }
  }
  if (!queue) {
    return false;
  }
  queue->push(std::move(request));
  return true;
}

}  // namespace detail
}  // namespace rclcpp
