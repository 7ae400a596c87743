#!/usr/bin/env bash
# Soak run of the lifecycle loop test: both nodes with every shipped layer taken up and down
# LOOPS times (1,000 by default) in an already built tree.
#   tools/soak.sh [LOOPS]                              release build in build/
#   BUILD_DIR=build-tsan tools/soak.sh 1000            a sanitizer build
#   BRINDLEX_LIFECYCLE_SEED=123 tools/soak.sh          repeat a run printed earlier
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
test_binary="$BUILD_DIR/test/integration/test_lifecycle_loop"
if [ ! -x "$test_binary" ]; then
  echo "soak.sh: $test_binary is not built (run tools/test.sh first)" >&2
  exit 1
fi
export AMENT_PREFIX_PATH="$PWD/$BUILD_DIR/prefix"
export BRINDLEX_LIFECYCLE_LOOPS="${1:-1000}"
exec "$test_binary"
