#include "brindlex_velnor/delivery_gate.hpp"

namespace velnor {

DeliveryGate::Pass::Pass(DeliveryGate & owner) : gate(owner), admitted(owner.enter()) {}

DeliveryGate::Pass::~Pass()
{
  if (admitted) {
    gate.leave();
  }
}

void DeliveryGate::close()
{
  std::unique_lock<std::mutex> lock(mutex);
  is_open = false;
  drained.wait(lock, [this] { return running == 0; });
}

bool DeliveryGate::enter()
{
  std::lock_guard<std::mutex> lock(mutex);
  if (!is_open) {
    return false;
  }
  ++running;
  return true;
}

void DeliveryGate::leave()
{
  std::lock_guard<std::mutex> lock(mutex);
  if (--running == 0) {
    drained.notify_all();
  }
}

}  // namespace velnor
