// The handle of one registered filter callback.
#ifndef MESSAGE_FILTERS__CONNECTION_H_
#define MESSAGE_FILTERS__CONNECTION_H_

#include <functional>

#include "message_filters/visibility_control.h"

namespace message_filters {

/// Disconnects the callback it was returned for.
class Connection
{
public:
  typedef std::function<void(void)> VoidDisconnectFunction;
  typedef std::function<void(const Connection &)> WithConnectionDisconnectFunction;

  Connection() {}

  MESSAGE_FILTERS_PUBLIC
  Connection(const VoidDisconnectFunction & func);  // NOLINT(runtime/explicit)

  /// Removes the callback; a default-constructed connection does nothing.
  MESSAGE_FILTERS_PUBLIC
  void disconnect();

private:
  VoidDisconnectFunction void_disconnect_;
  WithConnectionDisconnectFunction connection_disconnect_;
};

}  // namespace message_filters

#endif  // MESSAGE_FILTERS__CONNECTION_H_
