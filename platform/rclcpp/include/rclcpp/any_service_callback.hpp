#ifndef RCLCPP__ANY_SERVICE_CALLBACK_HPP_
#define RCLCPP__ANY_SERVICE_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rmw/types.h"

namespace rclcpp {

/// A service callback of one of the two accepted forms:
/// void(std::shared_ptr<Request>, std::shared_ptr<Response>) and
/// void(std::shared_ptr<rmw_request_id_t>, std::shared_ptr<Request>, std::shared_ptr<Response>).
/// The two-argument form is tried first, because a std::bind expression silently drops extra
/// arguments and would otherwise look like the three-argument form.
template <typename ServiceT>
class AnyServiceCallback
{
public:
  using SharedRequest = std::shared_ptr<typename ServiceT::Request>;
  using SharedResponse = std::shared_ptr<typename ServiceT::Response>;
  using SharedRequestId = std::shared_ptr<rmw_request_id_t>;

  AnyServiceCallback() = default;

  template <typename CallbackT>
  void set(CallbackT && callback)
  {
    using DecayedT = std::decay_t<CallbackT>;
    if constexpr (std::is_invocable_v<DecayedT &, const SharedRequest, SharedResponse>) {
      callback_ = [cb = DecayedT(std::forward<CallbackT>(callback))](
                      const SharedRequestId &,
                      const SharedRequest & request,
                      const SharedResponse & response) mutable { cb(request, response); };
    } else if constexpr (  // NOLINT(readability/braces)
        std::is_invocable_v<
            DecayedT &,
            const SharedRequestId,
            const SharedRequest,
            SharedResponse>) {
      callback_ = [cb = DecayedT(std::forward<CallbackT>(callback))](
                      const SharedRequestId & request_id,
                      const SharedRequest & request,
                      const SharedResponse & response) mutable {
        cb(request_id, request, response);
      };
    } else {
      static_assert(
          std::is_invocable_v<DecayedT &, const SharedRequest, SharedResponse>,
          "service callback must take (request, response) or (request_id, request, response)");
    }
  }

  /// Runs the callback with a default-constructed response and returns that response.
  SharedResponse dispatch(const SharedRequestId & request_header, const SharedRequest & request)
  {
    if (!callback_) {
      throw std::runtime_error("unexpected request without any callback set");
    }
    auto response = std::make_shared<typename ServiceT::Response>();
    callback_(request_header, request, response);
    return response;
  }

private:
  std::function<void(const SharedRequestId &, const SharedRequest &, const SharedResponse &)>
      callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SERVICE_CALLBACK_HPP_
