#include "rclcpp/service.hpp"

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp {
namespace {

int64_t client_id_of(const rmw_request_id_t & request_id)
{
  int64_t id = 0;
  for (size_t i = 0; i < sizeof(id); ++i) {
    id |= static_cast<int64_t>(static_cast<uint8_t>(request_id.writer_guid[i])) << (8 * i);
  }
  return id;
}

}  // namespace

ServiceBase::ServiceBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    const std::string & type_name,
    const rmw_qos_profile_t & qos_profile)
    : service_name_(node_base->resolve_topic_or_service_name(service_name, true)),
      type_name_(type_name),
      requests_(std::make_shared<detail::RequestQueue>())
{
  (void)qos_profile;
  registration_id_ = detail::register_service(service_name_, type_name_, requests_);
}

ServiceBase::~ServiceBase()
{
  detail::unregister_service(registration_id_);
  requests_->clear();
}

const char * ServiceBase::get_service_name() { return service_name_.c_str(); }

bool ServiceBase::take_type_erased_request(std::shared_ptr<void> & request_event)
{
  return requests_->pop_erased(request_event);
}

void ServiceBase::execute_type_erased_request(std::shared_ptr<void> & request_event)
{
  auto request = std::static_pointer_cast<detail::ServiceRequest>(request_event);
  {
    std::lock_guard<std::mutex> lock(replies_mutex_);
    replies_[{client_id_of(request->request_id), request->request_id.sequence_number}] =
        request->reply_to;
  }
  auto header = std::make_shared<rmw_request_id_t>(request->request_id);
  handle_request(header, request->request);
}

void ServiceBase::send_type_erased_response(
    const rmw_request_id_t & request_id, std::shared_ptr<void> response)
{
  std::weak_ptr<detail::ResponseQueue> reply_to;
  {
    std::lock_guard<std::mutex> lock(replies_mutex_);
    auto it = replies_.find({client_id_of(request_id), request_id.sequence_number});
    if (it == replies_.end()) {
      return;
    }
    reply_to = it->second;
    replies_.erase(it);
  }
  if (auto queue = reply_to.lock()) {
    detail::ServiceResponse service_response;
    service_response.sequence_number = request_id.sequence_number;
    service_response.response = std::move(response);
    queue->push(std::move(service_response));
  }
}

bool ServiceBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

}  // namespace rclcpp
