// Base of filters with one output: callback registration and signalling.
#ifndef MESSAGE_FILTERS__SIMPLE_FILTER_H_
#define MESSAGE_FILTERS__SIMPLE_FILTER_H_

#include <functional>
#include <memory>
#include <string>

#include "message_filters/connection.h"
#include "message_filters/message_event.h"
#include "message_filters/signal1.h"

namespace message_filters {

class noncopyable
{
protected:
  noncopyable() {}
  ~noncopyable() {}
  noncopyable(const noncopyable &) = delete;
  noncopyable & operator=(const noncopyable &) = delete;
};

/// Output side of a filter: callbacks registered here receive every message it signals.
template <class M>
class SimpleFilter : public noncopyable
{
public:
  typedef std::shared_ptr<M const> MConstPtr;
  typedef std::function<void(const MConstPtr &)> Callback;
  typedef MessageEvent<M const> EventType;
  typedef std::function<void(const EventType &)> EventCallback;

  /// Any callable taking const MConstPtr&.
  template <typename C>
  Connection registerCallback(const C & callback)
  {
    typename CallbackHelper1<M>::Ptr helper = signal_.addCallback(Callback(callback));
    return Connection(std::bind(&Signal::removeCallback, &signal_, helper));
  }

  /// A function object with any parameter type ParameterAdapter supports.
  template <typename P>
  Connection registerCallback(const std::function<void(P)> & callback)
  {
    return Connection(std::bind(&Signal::removeCallback, &signal_, signal_.addCallback(callback)));
  }

  template <typename P>
  Connection registerCallback(void (*callback)(P))
  {
    typename CallbackHelper1<M>::Ptr helper =
        signal_.template addCallback<P>(std::bind(callback, std::placeholders::_1));
    return Connection(std::bind(&Signal::removeCallback, &signal_, helper));
  }

  template <typename T, typename P>
  Connection registerCallback(void (T::*callback)(P), T * t)
  {
    typename CallbackHelper1<M>::Ptr helper =
        signal_.template addCallback<P>(std::bind(callback, t, std::placeholders::_1));
    return Connection(std::bind(&Signal::removeCallback, &signal_, helper));
  }

  void setName(const std::string & name) { name_ = name; }

  const std::string & getName() { return name_; }

protected:
  /// Calls every callback, on this thread, with a receipt time of now.
  void signalMessage(const MConstPtr & msg)
  {
    MessageEvent<M const> event(msg);
    signal_.call(event);
  }

  void signalMessage(const MessageEvent<M const> & event) { signal_.call(event); }

private:
  typedef Signal1<M> Signal;

  Signal signal_;
  std::string name_;
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__SIMPLE_FILTER_H_
