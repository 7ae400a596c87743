// Process-wide record of the calls the server makes into the test layers. Lives in a shared
// library of its own so that the test program and the dlopen'ed plug-ins see one log.
#ifndef BRINDLEX_TEST__CALL_LOG_HPP_
#define BRINDLEX_TEST__CALL_LOG_HPP_

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace semantic_map_test {

struct LayerCall
{
  std::string layer;      // the layer's name
  std::string operation;  // "onInitialize", "activate", "updateBounds", ...
  std::thread::id thread;
  bool outer_locked{false};   // the layered map's outer mutex was held during the call
  bool grid_locked{false};    // the grid's mutex was held during the call
  bool master_locked{false};  // the Navigation2 master costmap's mutex was held during the call
  // updateMaps window, clearArea box (as given), or -1.
  double a{-1}, b{-1}, c{-1}, d{-1};
  bool invert{false};
  bool fields_filled{false};  // onInitialize: every field the node fills was set
};

class CallLog
{
public:
  static CallLog & instance();

  void record(const LayerCall & call);
  std::vector<LayerCall> calls() const;
  std::vector<LayerCall> calls(const std::string & operation) const;
  /// Forget every call and open the gate.
  void clear();

  /// A gate that test layers pass in their service calls: closed, a call waits in it.
  void closeGate();
  void openGate();
  void passGate();

private:
  mutable std::mutex mutex_;
  std::condition_variable gate_changed_;
  bool gate_open_{true};
  std::vector<LayerCall> calls_;
};

}  // namespace semantic_map_test

#endif  // BRINDLEX_TEST__CALL_LOG_HPP_
