#ifndef RCLCPP__SERVICE_HPP_
#define RCLCPP__SERVICE_HPP_

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "rclcpp/any_service_callback.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/qos_profiles.h"
#include "rmw/types.h"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeBaseInterface;
}  // namespace node_interfaces

/// Type-independent part of a service: its resolved name and request queue. Requests are
/// served by the executor of the service's callback group.
class RCLCPP_PUBLIC ServiceBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ServiceBase)

  /// Resolves and validates the name (rclcpp::exceptions::InvalidServiceNameError) and
  /// registers the service.
  ServiceBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & service_name,
      const std::string & type_name,
      const rmw_qos_profile_t & qos_profile);

  /// Unregisters; queued requests are dropped.
  virtual ~ServiceBase();

  const char * get_service_name();

  /// Takes the next queued request (the executor's take).
  bool take_type_erased_request(std::shared_ptr<void> & request_event);

  /// Serves a request taken by take_type_erased_request().
  void execute_type_erased_request(std::shared_ptr<void> & request_event);

  virtual void handle_request(
      std::shared_ptr<rmw_request_id_t> request_header, std::shared_ptr<void> request) = 0;

  bool exchange_in_use_by_wait_set_state(bool in_use_state);

protected:
  RCLCPP_DISABLE_COPY(ServiceBase)

  /// Sends a response to the client that made the request with this id.
  void send_type_erased_response(
      const rmw_request_id_t & request_id, std::shared_ptr<void> response);

  std::string service_name_;
  std::string type_name_;

private:
  std::shared_ptr<detail::RequestQueue> requests_;
  uint64_t registration_id_;
  std::mutex replies_mutex_;
  // Keyed by (client id, sequence number).
  std::map<std::pair<int64_t, int64_t>, std::weak_ptr<detail::ResponseQueue>> replies_;
  std::atomic<bool> in_use_by_wait_set_{false};
};

template <typename ServiceT>
class Service : public ServiceBase, public std::enable_shared_from_this<Service<ServiceT>>
{
public:
  using CallbackType = std::function<void(
      const std::shared_ptr<typename ServiceT::Request>,
      std::shared_ptr<typename ServiceT::Response>)>;

  using CallbackWithHeaderType = std::function<void(
      const std::shared_ptr<rmw_request_id_t>,
      const std::shared_ptr<typename ServiceT::Request>,
      std::shared_ptr<typename ServiceT::Response>)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Service)

  Service(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      const std::string & service_name,
      AnyServiceCallback<ServiceT> any_callback,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default)
      : ServiceBase(
            node_base, service_name, rosidl_generator_traits::name<ServiceT>(), qos_profile),
        any_callback_(std::move(any_callback))
  {
  }

  Service() = delete;

  virtual ~Service() {}

  void handle_request(
      std::shared_ptr<rmw_request_id_t> request_header, std::shared_ptr<void> request) override
  {
    auto typed_request = std::static_pointer_cast<typename ServiceT::Request>(request);
    auto response = any_callback_.dispatch(request_header, typed_request);
    if (response) {
      send_response(*request_header, *response);
    }
  }

  /// Sends a copy of the response to the client that made the request.
  void send_response(rmw_request_id_t & req_id, typename ServiceT::Response & response)
  {
    send_type_erased_response(req_id, std::make_shared<typename ServiceT::Response>(response));
  }

private:
  RCLCPP_DISABLE_COPY(Service)

  AnyServiceCallback<ServiceT> any_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SERVICE_HPP_
