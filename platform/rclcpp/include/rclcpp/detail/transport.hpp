// In-process transport of the stand-in: the topic and service registry and the queues that
// carry messages, requests and responses between entities of one process. Entities find each
// other by resolved name; a type matches by its ROS type name string.
#ifndef RCLCPP__DETAIL__TRANSPORT_HPP_
#define RCLCPP__DETAIL__TRANSPORT_HPP_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "rclcpp/detail/wake.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {
namespace detail {

using ErasedMessage = std::shared_ptr<const void>;

/// Incoming queue of one subscription. Keeps the last `depth` messages (KEEP_LAST) or all of
/// them (KEEP_ALL). A thread blocked in wait_and_take() gets the next pushed message directly,
/// before the executor can see it.
class RCLCPP_PUBLIC MessageQueue
{
public:
  explicit MessageQueue(const rmw_qos_profile_t & qos);

  /// Queues a message (dropping the oldest when full) and wakes executors.
  void push(ErasedMessage message);

  /// Takes the oldest message; false if none.
  bool pop(ErasedMessage & message);

  bool has_message() const;

  size_t size() const;

  /// Drops every queued message.
  void clear();

  /// Takes a queued message, or waits for the next pushed one until the deadline or an
  /// interrupt(). Returns false without a message on timeout or interrupt.
  bool wait_and_take(ErasedMessage & message, std::chrono::steady_clock::time_point deadline);

  /// Wakes every wait_and_take() without a message.
  void interrupt();

private:
  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<ErasedMessage> queue_;
  size_t depth_;  // 0: unbounded
  size_t waiters_{0};
  std::deque<ErasedMessage> handed_over_;
  uint64_t interrupts_{0};
};

/// An unbounded queue of requests or responses that wakes executors on push.
template <typename T>
class EventQueue
{
public:
  void push(T item)
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(item));
    }
    wake_all();
  }

  bool pop(T & item)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) {
      return false;
    }
    item = std::move(queue_.front());
    queue_.pop_front();
    return true;
  }

  /// Pops the front item into a new type-erased event for an executor; false if empty.
  bool pop_erased(std::shared_ptr<void> & event)
  {
    T item;
    if (!pop(item)) {
      return false;
    }
    event = std::make_shared<T>(std::move(item));
    return true;
  }

  bool empty() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty();
  }

  void clear()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
  }

private:
  mutable std::mutex mutex_;
  std::deque<T> queue_;
};

/// A response on its way back to a client.
struct ServiceResponse
{
  int64_t sequence_number{0};
  std::shared_ptr<void> response;
};

using ResponseQueue = EventQueue<ServiceResponse>;

/// A request on its way to a service.
struct ServiceRequest
{
  rmw_request_id_t request_id{};
  std::shared_ptr<void> request;
  std::weak_ptr<ResponseQueue> reply_to;
};

using RequestQueue = EventQueue<ServiceRequest>;

/// True if a publisher with offered QoS reaches a subscription with requested QoS: a
/// best-effort publisher does not reach a reliable subscription, a volatile publisher does not
/// reach a transient-local subscription. System defaults count as reliable and volatile.
RCLCPP_PUBLIC
bool qos_compatible(const rmw_qos_profile_t & offered, const rmw_qos_profile_t & requested);

/// Registers a publisher; returns its id. A transient-local publisher keeps its last `depth`
/// messages for subscriptions that join later.
RCLCPP_PUBLIC
uint64_t register_publisher(
    const std::string & topic, const std::string & type, const rmw_qos_profile_t & qos);

RCLCPP_PUBLIC
void unregister_publisher(uint64_t publisher_id);

/// Delivers a message to every matched subscription's queue.
RCLCPP_PUBLIC
void publish(uint64_t publisher_id, const ErasedMessage & message);

RCLCPP_PUBLIC
size_t matched_subscription_count(uint64_t publisher_id);

/// Registers a subscription's queue; a transient-local subscription receives the kept messages
/// of every matched transient-local publisher at once.
RCLCPP_PUBLIC
uint64_t register_subscription(
    const std::string & topic,
    const std::string & type,
    const rmw_qos_profile_t & qos,
    const std::shared_ptr<MessageQueue> & queue);

RCLCPP_PUBLIC
void unregister_subscription(uint64_t subscription_id);

RCLCPP_PUBLIC
size_t matched_publisher_count(uint64_t subscription_id);

RCLCPP_PUBLIC
size_t count_publishers(const std::string & topic);

RCLCPP_PUBLIC
size_t count_subscribers(const std::string & topic);

RCLCPP_PUBLIC
uint64_t register_service(
    const std::string & name,
    const std::string & type,
    const std::shared_ptr<RequestQueue> & queue);

RCLCPP_PUBLIC
void unregister_service(uint64_t service_id);

RCLCPP_PUBLIC
bool service_available(const std::string & name, const std::string & type);

/// Hands a request to the service of that name and type; false if there is none.
RCLCPP_PUBLIC
bool send_request(const std::string & name, const std::string & type, ServiceRequest request);

/// A process-unique id (never 0).
RCLCPP_PUBLIC
uint64_t next_unique_id();

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__TRANSPORT_HPP_
