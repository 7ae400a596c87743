// A list of callbacks of one message type, called in registration order.
#ifndef MESSAGE_FILTERS__SIGNAL1_H_
#define MESSAGE_FILTERS__SIGNAL1_H_

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "message_filters/message_event.h"
#include "message_filters/parameter_adapter.h"

namespace message_filters {

template <class M>
class CallbackHelper1
{
public:
  virtual ~CallbackHelper1() {}

  virtual void call(const MessageEvent<M const> & event, bool nonconst_need_copy) = 0;

  typedef std::shared_ptr<CallbackHelper1<M>> Ptr;
};

template <typename P, typename M>
class CallbackHelper1T : public CallbackHelper1<M>
{
public:
  typedef ParameterAdapter<P> Adapter;
  typedef std::function<void(typename Adapter::Parameter)> Callback;
  typedef typename Adapter::Event Event;

  explicit CallbackHelper1T(const Callback & cb) : callback_(cb) {}

  void call(const MessageEvent<M const> & event, bool nonconst_force_copy) override
  {
    Event my_event(event, nonconst_force_copy || event.nonConstWillCopy());
    callback_(Adapter::getParameter(my_event));
  }

private:
  Callback callback_;
};

/// Callbacks run synchronously, in registration order, with the signal's mutex held: two
/// threads signalling the same filter are serialised, and a callback must not register or
/// remove callbacks of the same signal. A callback may destroy the signal (with the filter that
/// owns it): the call keeps the callbacks and the mutex until it returns.
template <class M>
class Signal1
{
  typedef std::shared_ptr<CallbackHelper1<M>> CallbackHelper1Ptr;
  typedef std::vector<CallbackHelper1Ptr> V_CallbackHelper1;

public:
  template <typename P>
  CallbackHelper1Ptr addCallback(const std::function<void(P)> & callback)
  {
    auto helper = std::make_shared<CallbackHelper1T<P, M>>(callback);
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->callbacks.push_back(helper);
    return state_->callbacks.back();
  }

  void removeCallback(const CallbackHelper1Ptr & helper)
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto & callbacks = state_->callbacks;
    auto it = std::find(callbacks.begin(), callbacks.end(), helper);
    if (it != callbacks.end()) {
      callbacks.erase(it);
    }
  }

  void call(const MessageEvent<M const> & event)
  {
    const std::shared_ptr<State> state = state_;
    std::lock_guard<std::mutex> lock(state->mutex);
    bool nonconst_force_copy = state->callbacks.size() > 1;
    for (const CallbackHelper1Ptr & helper : state->callbacks) {
      helper->call(event, nonconst_force_copy);
    }
  }

private:
  struct State
  {
    std::mutex mutex;
    V_CallbackHelper1 callbacks;
  };

  const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__SIGNAL1_H_
