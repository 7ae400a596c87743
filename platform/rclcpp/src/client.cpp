#include "rclcpp/client.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "rclcpp/detail/wake.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"

namespace rclcpp {

ClientBase::ClientBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    const std::string & service_name,
    const std::string & type_name,
    const rmw_qos_profile_t & qos_profile)
    : service_name_(node_base->resolve_topic_or_service_name(service_name, true)),
      type_name_(type_name),
      context_(node_base->get_context()),
      responses_(std::make_shared<detail::ResponseQueue>()),
      client_id_(static_cast<int64_t>(detail::next_unique_id()))
{
  (void)qos_profile;
}

ClientBase::~ClientBase() { responses_->clear(); }

const char * ClientBase::get_service_name() const { return service_name_.c_str(); }

bool ClientBase::service_is_ready() const
{
  return detail::service_available(service_name_, type_name_);
}

bool ClientBase::wait_for_service_nanoseconds(std::chrono::nanoseconds timeout)
{
  const auto deadline = timeout < std::chrono::nanoseconds::zero()
                            ? std::chrono::steady_clock::time_point::max()
                            : std::chrono::steady_clock::now() + timeout;
  while (true) {
    const uint64_t seen = detail::wake_generation();
    if (service_is_ready()) {
      return true;
    }
    if (!context_->is_valid()) {
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    detail::wait_for_wake(seen, deadline);
  }
}

int64_t ClientBase::send_type_erased_request(std::shared_ptr<void> request)
{
  const int64_t sequence = ++sequence_number_;
  detail::ServiceRequest service_request;
  for (size_t i = 0; i < sizeof(client_id_); ++i) {
    service_request.request_id.writer_guid[i] = static_cast<int8_t>((client_id_ >> (8 * i)) & 0xff);
  }
  service_request.request_id.sequence_number = sequence;
  service_request.request = std::move(request);
  service_request.reply_to = responses_;
  detail::send_request(service_name_, type_name_, std::move(service_request));
  return sequence;
}

bool ClientBase::take_type_erased_response(std::shared_ptr<void> & response_event)
{
  return responses_->pop_erased(response_event);
}

void ClientBase::execute_type_erased_response(std::shared_ptr<void> & response_event)
{
  auto response = std::static_pointer_cast<detail::ServiceResponse>(response_event);
  auto header = std::make_shared<rmw_request_id_t>();
  header->sequence_number = response->sequence_number;
  handle_response(header, response->response);
}

bool ClientBase::exchange_in_use_by_wait_set_state(bool in_use_state)
{
  return in_use_by_wait_set_.exchange(in_use_state);
}

}  // namespace rclcpp
