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
}

}  // namespace semantic_map_test
