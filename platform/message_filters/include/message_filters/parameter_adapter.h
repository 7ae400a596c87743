// Maps a callback's parameter type onto the MessageEvent it is served from.
#ifndef MESSAGE_FILTERS__PARAMETER_ADAPTER_H_
#define MESSAGE_FILTERS__PARAMETER_ADAPTER_H_

#include <functional>
#include <memory>
#include <type_traits>

#include "message_filters/message_event.h"

namespace message_filters {

/// Supported parameter types: const shared_ptr<M const>&, const shared_ptr<M>&,
/// shared_ptr<M const>, shared_ptr<M>, const M&, M (by value), const MessageEvent<M const>&,
/// const MessageEvent<M>&.
template <typename M>
struct ParameterAdapter
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message const> Event;
  typedef M Parameter;
  static const bool is_const = true;

  static Parameter getParameter(const Event & event) { return *event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<const std::shared_ptr<M const> &>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message const> Event;
  typedef const std::shared_ptr<Message const> Parameter;
  static const bool is_const = true;

  static Parameter getParameter(const Event & event) { return event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<const std::shared_ptr<M> &>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message> Event;
  typedef const std::shared_ptr<Message> Parameter;
  static const bool is_const = false;

  static Parameter getParameter(const Event & event) { return event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<std::shared_ptr<M const>>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message const> Event;
  typedef std::shared_ptr<Message const> Parameter;
  static const bool is_const = true;

  static Parameter getParameter(const Event & event) { return event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<std::shared_ptr<M>>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message> Event;
  typedef std::shared_ptr<Message> Parameter;
  static const bool is_const = false;

  static Parameter getParameter(const Event & event) { return event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<const M &>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message const> Event;
  typedef const M & Parameter;
  static const bool is_const = true;

  static Parameter getParameter(const Event & event) { return *event.getMessage(); }
};

template <typename M>
struct ParameterAdapter<const MessageEvent<M const> &>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message const> Event;
  typedef const MessageEvent<Message const> & Parameter;
  static const bool is_const = true;

  static Parameter getParameter(const Event & event) { return event; }
};

template <typename M>
struct ParameterAdapter<const MessageEvent<M> &>
{
  typedef typename std::remove_reference<typename std::remove_const<M>::type>::type Message;
  typedef MessageEvent<Message> Event;
  typedef MessageEvent<Message> Parameter;
  static const bool is_const = false;

  static Parameter getParameter(const Event & event) { return MessageEvent<Message>(event); }
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__PARAMETER_ADAPTER_H_
