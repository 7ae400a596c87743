#include "call_log.hpp"

namespace semantic_map_test {

CallLog & CallLog::instance()
{
  static CallLog log;
  return log;
}

void CallLog::record(const LayerCall & call)
{
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(call);
}

std::vector<LayerCall> CallLog::calls() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<LayerCall> CallLog::calls(const std::string & operation) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LayerCall> selected;
  for (const auto & call : calls_) {
    if (call.operation == operation) {
      selected.push_back(call);
    }
  }
  return selected;
}

void CallLog::clear()
{
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
  gate_open_ = true;
  gate_changed_.notify_all();
}

void CallLog::closeGate()
{
  std::lock_guard<std::mutex> lock(mutex_);
  gate_open_ = false;
}

void CallLog::openGate()
{
  std::lock_guard<std::mutex> lock(mutex_);
  gate_open_ = true;
  gate_changed_.notify_all();
}

void CallLog::passGate()
{
  std::unique_lock<std::mutex> lock(mutex_);
  gate_changed_.wait(lock, [this]() { return gate_open_; });
}

}  // namespace semantic_map_test
