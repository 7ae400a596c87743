#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the project and runs its test suite.
#   tools/test.sh                 install packages, build (Release), run every test
#   BUILD_DIR=build-tsan CMAKE_ARGS=-DBRINDLEX_TSAN=ON tools/test.sh   sanitizer build
#   SKIP_DEPS=1 tools/test.sh     skip the package installation
#   JOBS=4 tools/test.sh          build and test jobs (default: one per processor)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SKIP_DEPS:-}" ]; then
  bash tools/install-deps.sh
fi
BUILD_DIR="${BUILD_DIR:-build}"
# ThreadSanitizer reports inside system libraries that the project cannot mend are suppressed by
# name (the file names system libraries only); harmless for the other builds.
export TSAN_OPTIONS="suppressions=$PWD/test/install/tsan_suppressions.txt${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
# shellcheck disable=SC2086
cmake -S . -B "$BUILD_DIR" -G Ninja -DPython3_EXECUTABLE=/usr/bin/python3 ${CMAKE_ARGS:-}
JOBS="${JOBS:-$(nproc)}"
cmake --build "$BUILD_DIR" --parallel "$JOBS"
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$JOBS" ${CTEST_ARGS:-}
