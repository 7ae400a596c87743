// A second source unit with its own throttle table, for the per-unit throttle tests.

#ifndef UNIT__LOGGER_THROTTLE_PEER_HPP_
#define UNIT__LOGGER_THROTTLE_PEER_HPP_

#include <string>

#include "util/util.hpp"

namespace test_util {

/// The throttle table of the peer source unit.
brindlex::ThrottleTable & peerThrottleTable();

/// LOG_THROTTLE(key, 1, text) from the peer source unit.
void peerThrottledInfo(const std::string & key, const std::string & text);

}  // namespace test_util

#endif  // UNIT__LOGGER_THROTTLE_PEER_HPP_
