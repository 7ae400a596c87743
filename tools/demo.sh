#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the server and runs the demo: the two semantic map
# nodes with the example configuration beside a simulated robot.
#   tools/demo.sh             run until Ctrl-C
#   tools/demo.sh 30          run for 30 seconds
#   SKIP_DEPS=1 tools/demo.sh skip the package installation
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SKIP_DEPS:-}" ]; then
  bash tools/install-deps.sh
fi
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DPython3_EXECUTABLE=/usr/bin/python3
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target semanticmap_demo semanticmap_node
args=(--params-file config/semanticmap_params.yaml)
if [ -n "${1:-}" ]; then
  args+=(--duration "$1")
fi
# The build tree is laid out like an install prefix; the plug-in loader finds the packages there.
export AMENT_PREFIX_PATH="$PWD/$BUILD_DIR/prefix${AMENT_PREFIX_PATH:+:$AMENT_PREFIX_PATH}"
exec "$BUILD_DIR/semanticmap_demo" "${args[@]}"
