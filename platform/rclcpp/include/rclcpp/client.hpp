#ifndef RCLCPP__CLIENT_HPP_
#define RCLCPP__CLIENT_HPP_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/qos_profiles.h"
#include "rmw/types.h"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeBaseInterface;
class NodeGraphInterface;
}  // namespace node_interfaces

namespace detail {

/// A future together with the sequence number of its request.
template <typename FutureT>
struct FutureAndRequestId
{
  FutureT future;
  int64_t request_id;

  FutureAndRequestId(FutureT impl, int64_t req_id) : future(std::move(impl)), request_id(req_id) {}

  /// Deprecated conversion kept for code written against older releases.
  operator FutureT &() { return this->future; }

  operator FutureT() { return this->future; }

  auto get() { return this->future.get(); }

  bool valid() const noexcept { return this->future.valid(); }

  void wait() const { return this->future.wait(); }

  template <class Rep, class Period>
  std::future_status wait_for(const std::chrono::duration<Rep, Period> & timeout_duration) const
  {
    return this->future.wait_for(timeout_duration);
  }

  template <class Clock, class Duration>
  std::future_status wait_until(const std::chrono::time_point<Clock, Duration> & timeout_time) const
  {
    return this->future.wait_until(timeout_time);
  }

  FutureAndRequestId(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId(const FutureAndRequestId & other) = delete;
  FutureAndRequestId & operator=(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId & operator=(const FutureAndRequestId & other) = delete;
  ~FutureAndRequestId() = default;
};

}  // namespace detail

/// Type-independent part of a client: the service name, the sequence numbers and the queue
/// its responses arrive in. Responses are handled by the executor of the client's group.
class RCLCPP_PUBLIC ClientBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ClientBase)

  /// Resolves and validates the name (rclcpp::exceptions::InvalidServiceNameError).
  ClientBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & service_name,
      const std::string & type_name,
      const rmw_qos_profile_t & qos_profile);

  virtual ~ClientBase();

  const char * get_service_name() const;

  /// True if a service of this name and type exists in the process.
  bool service_is_ready() const;

  /// Waits until the service exists; false on timeout or context shutdown. A negative
  /// timeout waits without limit.
  template <typename RepT = int64_t, typename RatioT = std::milli>
  bool wait_for_service(
      std::chrono::duration<RepT, RatioT> timeout = std::chrono::duration<RepT, RatioT>(-1))
  {
    return wait_for_service_nanoseconds(
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  /// Takes the next response (the executor's take).
  bool take_type_erased_response(std::shared_ptr<void> & response_event);

  /// Completes the request a response taken by take_type_erased_response() belongs to.
  void execute_type_erased_response(std::shared_ptr<void> & response_event);

  virtual void handle_response(
      std::shared_ptr<rmw_request_id_t> request_header, std::shared_ptr<void> response) = 0;

  bool exchange_in_use_by_wait_set_state(bool in_use_state);

protected:
  RCLCPP_DISABLE_COPY(ClientBase)

  bool wait_for_service_nanoseconds(std::chrono::nanoseconds timeout);

  /// Sends a request; returns its sequence number. A request sent while no service exists is
  /// lost, as with a volatile middleware.
  int64_t send_type_erased_request(std::shared_ptr<void> request);

  std::string service_name_;
  std::string type_name_;
  rclcpp::Context::SharedPtr context_;

private:
  std::shared_ptr<detail::ResponseQueue> responses_;
  int64_t client_id_;
  std::atomic<int64_t> sequence_number_{0};
  std::atomic<bool> in_use_by_wait_set_{false};
};

/// A client of ServiceT. Lock order: pending_requests_mutex_ before the transport registry
/// (a request is registered as pending before it is sent).
template <typename ServiceT>
class Client : public ClientBase
{
public:
  using SharedRequest = typename ServiceT::Request::SharedPtr;
  using SharedResponse = typename ServiceT::Response::SharedPtr;

  using Promise = std::promise<SharedResponse>;
  using PromiseWithRequest = std::promise<std::pair<SharedRequest, SharedResponse>>;

  using SharedPromise = std::shared_ptr<Promise>;
  using SharedPromiseWithRequest = std::shared_ptr<PromiseWithRequest>;

  using Future = std::future<SharedResponse>;
  using SharedFuture = std::shared_future<SharedResponse>;
  using SharedFutureWithRequest = std::shared_future<std::pair<SharedRequest, SharedResponse>>;

  using CallbackType = std::function<void(SharedFuture)>;
  using CallbackWithRequestType = std::function<void(SharedFutureWithRequest)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Client)

  struct FutureAndRequestId : detail::FutureAndRequestId<std::future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::future<SharedResponse>>::FutureAndRequestId;

    SharedFuture share() noexcept { return this->future.share(); }

    FutureAndRequestId(FutureAndRequestId && other) noexcept = default;
    FutureAndRequestId(const FutureAndRequestId & other) = delete;
    FutureAndRequestId & operator=(FutureAndRequestId && other) noexcept = default;
    FutureAndRequestId & operator=(const FutureAndRequestId & other) = delete;
    ~FutureAndRequestId() = default;
  };

  struct SharedFutureAndRequestId : detail::FutureAndRequestId<std::shared_future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::shared_future<SharedResponse>>::FutureAndRequestId;
  };

  struct SharedFutureWithRequestAndRequestId
      : detail::FutureAndRequestId<std::shared_future<std::pair<SharedRequest, SharedResponse>>>
  {
    using detail::FutureAndRequestId<
        std::shared_future<std::pair<SharedRequest, SharedResponse>>>::FutureAndRequestId;
  };

  Client(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      std::shared_ptr<rclcpp::node_interfaces::NodeGraphInterface> node_graph,
      const std::string & service_name,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default)
      : ClientBase(node_base, service_name, rosidl_generator_traits::name<ServiceT>(), qos_profile)
  {
    (void)node_graph;
  }

  virtual ~Client() {}

  /// Sends the request; the future completes when the client's executor handles the response.
  FutureAndRequestId async_send_request(SharedRequest request)
  {
    Promise promise;
    auto future = promise.get_future();
    auto req_id = async_send_request_impl(
        *request, std::make_shared<Promise>(std::move(promise)), nullptr, nullptr);
    // The promise moved into the pending entry; its future was taken before.
    return FutureAndRequestId(std::move(future), req_id);
  }

  /// Sends the request; the callback runs on the client's executor with the completed future.
  template <
      typename CallbackT,
      typename std::enable_if<std::is_convertible_v<CallbackT, CallbackType>>::type * = nullptr>
  SharedFutureAndRequestId async_send_request(SharedRequest request, CallbackT && cb)
  {
    auto promise = std::make_shared<Promise>();
    SharedFuture shared_future = promise->get_future().share();
    auto req_id = async_send_request_impl(
        *request,
        promise,
        std::make_shared<CallbackType>(std::forward<CallbackT>(cb)),
        std::make_shared<SharedFuture>(shared_future));
    return SharedFutureAndRequestId(std::move(shared_future), req_id);
  }

  /// Forgets a pending request; true if it was pending.
  bool remove_pending_request(int64_t request_id)
  {
    std::lock_guard<std::mutex> lock(pending_requests_mutex_);
    return pending_requests_.erase(request_id) != 0u;
  }

  size_t prune_pending_requests()
  {
    std::lock_guard<std::mutex> lock(pending_requests_mutex_);
    auto ret = pending_requests_.size();
    pending_requests_.clear();
    return ret;
  }

  void handle_response(
      std::shared_ptr<rmw_request_id_t> request_header, std::shared_ptr<void> response) override
  {
    Pending pending;
    {
      std::lock_guard<std::mutex> lock(pending_requests_mutex_);
      auto it = pending_requests_.find(request_header->sequence_number);
      if (it == pending_requests_.end()) {
        return;
      }
      pending = std::move(it->second);
      pending_requests_.erase(it);
    }
    auto typed_response = std::static_pointer_cast<typename ServiceT::Response>(response);
    pending.promise->set_value(typed_response);
    if (pending.callback) {
      (*pending.callback)(*pending.future);
    }
  }

private:
  RCLCPP_DISABLE_COPY(Client)

  struct Pending
  {
    SharedPromise promise;
    std::shared_ptr<CallbackType> callback;
    std::shared_ptr<SharedFuture> future;
  };

  int64_t async_send_request_impl(
      const typename ServiceT::Request & request,
      SharedPromise promise,
      std::shared_ptr<CallbackType> callback,
      std::shared_ptr<SharedFuture> future)
  {
    // Register before sending: a fast service may answer before this returns.
    std::lock_guard<std::mutex> lock(pending_requests_mutex_);
    const int64_t sequence =
        send_type_erased_request(std::make_shared<typename ServiceT::Request>(request));
    pending_requests_[sequence] =
        Pending{std::move(promise), std::move(callback), std::move(future)};
    return sequence;
  }

  std::map<int64_t, Pending> pending_requests_;
  std::mutex pending_requests_mutex_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLIENT_HPP_
