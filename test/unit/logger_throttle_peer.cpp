#include "logger_throttle_peer.hpp"

namespace test_util {

brindlex::ThrottleTable & peerThrottleTable() { return brindlex::throttle_table; }

void peerThrottledInfo(const std::string & key, const std::string & text)
{
  LOG_THROTTLE(key, 1, "{}", text);
}

}  // namespace test_util
