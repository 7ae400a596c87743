#ifndef RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
#define RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rclcpp/message_info.hpp"

namespace rclcpp {

/// A subscription callback in any of the accepted forms, tried in this order:
/// void(std::shared_ptr<const M>) (by value or const reference), void(std::shared_ptr<M>),
/// void(std::unique_ptr<M>), void(const M &), and the same forms with a trailing
/// const rclcpp::MessageInfo &. Forms that own a mutable message get a copy.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class AnySubscriptionCallback
{
public:
  using ConstSharedPtr = std::shared_ptr<const MessageT>;
  using SharedPtr = std::shared_ptr<MessageT>;
  using UniquePtr = std::unique_ptr<MessageT>;

  AnySubscriptionCallback() = default;

  template <typename CallbackT>
  AnySubscriptionCallback set(CallbackT callback)
  {
    using C = std::decay_t<CallbackT>;
    if constexpr (std::is_invocable_v<C &, const ConstSharedPtr &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo &) mutable { cb(msg); };
    } else if constexpr (std::is_invocable_v<C &, const SharedPtr &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo &) mutable {
        cb(std::make_shared<MessageT>(*msg));
      };
    } else if constexpr (std::is_invocable_v<C &, UniquePtr>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo &) mutable {
        cb(std::make_unique<MessageT>(*msg));
      };
    } else if constexpr (std::is_invocable_v<C &, const MessageT &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo &) mutable { cb(*msg); };
    } else if constexpr (std::is_invocable_v<C &, const ConstSharedPtr &, const MessageInfo &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo & info) mutable {
        cb(msg, info);
      };
    } else if constexpr (std::is_invocable_v<C &, const SharedPtr &, const MessageInfo &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo & info) mutable {
        cb(std::make_shared<MessageT>(*msg), info);
      };
    } else if constexpr (std::is_invocable_v<C &, UniquePtr, const MessageInfo &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo & info) mutable {
        cb(std::make_unique<MessageT>(*msg), info);
      };
    } else if constexpr (std::is_invocable_v<C &, const MessageT &, const MessageInfo &>) {
      callback_ = [cb = std::move(callback)](
                      const ConstSharedPtr & msg, const MessageInfo & info) mutable {
        cb(*msg, info);
      };
    } else {
      static_assert(
          std::is_invocable_v<C &, const ConstSharedPtr &>,
          "subscription callback has no accepted signature");
    }
    return *this;
  }

  void dispatch(const ConstSharedPtr & message, const MessageInfo & message_info)
  {
    if (!callback_) {
      throw std::runtime_error("dispatch called on an unset AnySubscriptionCallback");
    }
    callback_(message, message_info);
  }

private:
  std::function<void(const ConstSharedPtr &, const MessageInfo &)> callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
