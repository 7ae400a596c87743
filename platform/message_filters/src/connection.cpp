#include "message_filters/connection.h"

namespace message_filters {

Connection::Connection(const VoidDisconnectFunction & func) : void_disconnect_(func) {}

void Connection::disconnect()
{
  if (void_disconnect_) {
    void_disconnect_();
  } else if (connection_disconnect_) {
    connection_disconnect_(*this);
  }
}

}  // namespace message_filters
