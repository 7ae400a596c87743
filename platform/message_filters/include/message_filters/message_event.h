// A message together with the time it was received.
#ifndef MESSAGE_FILTERS__MESSAGE_EVENT_H_
#define MESSAGE_FILTERS__MESSAGE_EVENT_H_

#include <functional>
#include <memory>
#include <type_traits>

#include "rclcpp/clock.hpp"
#include "rclcpp/time.hpp"

namespace message_filters {

template <typename M>
struct DefaultMessageCreator
{
  std::shared_ptr<M> operator()() { return std::make_shared<M>(); }
};

/// Holds a shared message and its receipt time. For a non-const M, getMessage() hands out a copy
/// when the event was marked as needing one (several non-const consumers).
template <typename M>
class MessageEvent
{
public:
  typedef typename std::add_const<M>::type ConstMessage;
  typedef typename std::remove_const<M>::type Message;
  typedef std::shared_ptr<Message> MessagePtr;
  typedef std::shared_ptr<ConstMessage> ConstMessagePtr;
  typedef std::function<MessagePtr()> CreateFunction;

  MessageEvent() : nonconst_need_copy_(true) {}

  MessageEvent(const MessageEvent<Message> & rhs)  // NOLINT(runtime/explicit)
  {
    *this = rhs;
  }

  MessageEvent(const MessageEvent<ConstMessage> & rhs)  // NOLINT(runtime/explicit)
  {
    *this = rhs;
  }

  MessageEvent(const MessageEvent<Message> & rhs, bool nonconst_need_copy)
  {
    *this = rhs;
    nonconst_need_copy_ = nonconst_need_copy;
  }

  MessageEvent(const MessageEvent<ConstMessage> & rhs, bool nonconst_need_copy)
  {
    *this = rhs;
    nonconst_need_copy_ = nonconst_need_copy;
  }

  /// Received now, on the system clock.
  MessageEvent(const ConstMessagePtr & message)  // NOLINT(runtime/explicit)
  {
    init(message, rclcpp::Clock().now(), true, DefaultMessageCreator<Message>());
  }

  MessageEvent(const ConstMessagePtr & message, rclcpp::Time receipt_time)
  {
    init(message, receipt_time, true, DefaultMessageCreator<Message>());
  }

  MessageEvent(
      const ConstMessagePtr & message,
      rclcpp::Time receipt_time,
      bool nonconst_need_copy,
      const CreateFunction & create)
  {
    init(message, receipt_time, nonconst_need_copy, create);
  }

  void init(
      const ConstMessagePtr & message,
      rclcpp::Time receipt_time,
      bool nonconst_need_copy,
      const CreateFunction & create)
  {
    message_ = message;
    receipt_time_ = receipt_time;
    nonconst_need_copy_ = nonconst_need_copy;
    create_ = create;
  }

  void operator=(const MessageEvent<Message> & rhs)
  {
    init(
        std::static_pointer_cast<Message>(rhs.getMessage()),
        rhs.getReceiptTime(),
        rhs.nonConstWillCopy(),
        rhs.getMessageFactory());
    message_copy_.reset();
  }

  void operator=(const MessageEvent<ConstMessage> & rhs)
  {
    init(
        std::const_pointer_cast<Message>(std::static_pointer_cast<ConstMessage>(rhs.getMessage())),
        rhs.getReceiptTime(),
        rhs.nonConstWillCopy(),
        rhs.getMessageFactory());
    message_copy_.reset();
  }

  /// The message; for a non-const M a private copy when one is needed.
  std::shared_ptr<M> getMessage() const { return copyMessageIfNecessary<M>(); }

  const std::shared_ptr<ConstMessage> & getConstMessage() const { return message_; }

  rclcpp::Time getReceiptTime() const { return receipt_time_; }

  bool nonConstWillCopy() const { return nonconst_need_copy_; }

  bool getMessageWillCopy() const { return !std::is_const<M>::value && nonconst_need_copy_; }

  bool operator<(const MessageEvent<M> & rhs)
  {
    if (message_ != rhs.message_) {
      return message_ < rhs.message_;
    }
    if (receipt_time_ != rhs.receipt_time_) {
      return receipt_time_ < rhs.receipt_time_;
    }
    return nonconst_need_copy_ < rhs.nonconst_need_copy_;
  }

  bool operator==(const MessageEvent<M> & rhs)
  {
    return message_ == rhs.message_ && receipt_time_ == rhs.receipt_time_ &&
           nonconst_need_copy_ == rhs.nonconst_need_copy_;
  }

  bool operator!=(const MessageEvent<M> & rhs) { return !(*this == rhs); }

  const CreateFunction & getMessageFactory() const { return create_; }

private:
  template <typename M2>
  typename std::
      enable_if<!std::is_void<M2>::value && std::is_const<M2>::value, std::shared_ptr<M>>::type
      copyMessageIfNecessary() const
  {
    return message_;
  }

  template <typename M2>
  typename std::
      enable_if<!std::is_void<M2>::value && !std::is_const<M2>::value, std::shared_ptr<M>>::type
      copyMessageIfNecessary() const
  {
    if (!nonconst_need_copy_) {
      return std::const_pointer_cast<Message>(message_);
    }
    if (message_copy_) {
      return message_copy_;
    }
    message_copy_ = create_();
    *message_copy_ = *message_;
    return message_copy_;
  }

  ConstMessagePtr message_;
  // Only accessed if M is non-const.
  mutable MessagePtr message_copy_;
  rclcpp::Time receipt_time_;
  bool nonconst_need_copy_;
  CreateFunction create_;
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__MESSAGE_EVENT_H_
