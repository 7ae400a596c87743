#ifndef BRINDLEX_VELNOR__DELIVERY_GATE_HPP_
#define BRINDLEX_VELNOR__DELIVERY_GATE_HPP_

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace velnor {

/**
 * @brief Admits message deliveries while open; closing it waits for the deliveries it admitted.
 *
 * A callback that a middleware thread may still run after its owner has let go of it (an executor
 * holds its own reference to a subscription whose message it has taken; the tf buffer calls a
 * filter back on the thread that feeds it) holds the gate by shared pointer and does its work
 * inside a Pass. The owner closes the gate before it releases what that work uses: once close()
 * returns, no admitted delivery is still running and none is admitted any more.
 *
 * close() must not run inside a Pass of the same gate, nor while its caller holds a lock that an
 * admitted delivery takes: it would wait for itself.
 */
class DeliveryGate
{
public:
  /// One delivery: admitted when the gate was open at construction; leaves on destruction.
  class Pass
  {
  public:
    explicit Pass(DeliveryGate & gate);
    ~Pass();

    Pass(const Pass &) = delete;
    Pass & operator=(const Pass &) = delete;

    /// Whether the delivery may go on.
    explicit operator bool() const { return admitted; }

  private:
    DeliveryGate & gate;
    bool admitted;
  };

  /// Built open.
  DeliveryGate() = default;

  DeliveryGate(const DeliveryGate &) = delete;
  DeliveryGate & operator=(const DeliveryGate &) = delete;

  /// Admit no more deliveries, for good, and wait until the admitted ones have left.
  void close();

private:
  bool enter();
  void leave();

  std::mutex mutex;
  std::condition_variable drained;
  bool is_open{true};
  size_t running{0};
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__DELIVERY_GATE_HPP_
