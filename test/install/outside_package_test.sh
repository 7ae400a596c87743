#!/usr/bin/env bash
# Tests of the installed tree, as another package and a user on a robot meet it.
#
#   outside_package_test.sh build-paths <build dir> <source dir> <cmake>
#     Installs the build into a temporary prefix and fails when an installed file names the build
#     tree (or a text file names the source tree).
#   outside_package_test.sh outside-package <build dir> <source dir> <cmake> [<cmake option>...]
#     Installs the build into a temporary prefix, configures, builds and installs the package
#     test/outside_package against it (the options go to its configure step), runs its link probe,
#     then runs the installed semanticmap_node and semanticmap_demo with the outside layer listed
#     in their parameters, and stops each with SIGINT.
set -uo pipefail

mode=$1
build_dir=$(realpath "$2")
source_dir=$(realpath "$3")
cmake=$4
shift 4

# Nothing of the caller's environment may point into the build tree or another installation.
unset AMENT_PREFIX_PATH CMAKE_PREFIX_PATH LD_LIBRARY_PATH

work=$(mktemp -d "${TMPDIR:-/tmp}/brindlex_install_test.XXXXXX")
prefix=$work/prefix
child=
cleanup() {
  if [[ -n $child ]] && kill -0 "$child" 2>/dev/null; then
    kill -KILL "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# run_logged <log> <command...>: runs a step, shows its output only when it fails.
run_logged() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    fail "$*"
  fi
}

run_logged "$work/install.log" "$cmake" --install "$build_dir" --prefix "$prefix"

if [[ $mode == build-paths ]]; then
  [[ -f $prefix/share/brindlex_nav2_semanticmap/cmake/brindlex_nav2_semanticmapConfig.cmake ]] ||
    fail "the package configuration was not installed"
  [[ -f $prefix/share/rclcpp/cmake/rclcppConfig.cmake ]] ||
    fail "the stand-in packages' configurations were not installed"
  leaks=$(grep -rlF -- "$build_dir" "$prefix")
  [[ -z $leaks ]] || fail "installed files name the build tree $build_dir:"$'\n'"$leaks"
  leaks=$(grep -rlIF -- "$source_dir/" "$prefix")
  [[ -z $leaks ]] || fail "installed files name the source tree $source_dir:"$'\n'"$leaks"
  echo "no installed file names $build_dir or $source_dir"
  exit 0
fi
[[ $mode == outside-package ]] || fail "unknown mode $mode"

# The outside package, built as on a robot: only the install prefix is known.
outside_prefix=$work/outside_prefix
run_logged "$work/configure.log" "$cmake" -S "$source_dir/test/outside_package" \
  -B "$work/outside_build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_INSTALL_PREFIX="$outside_prefix" -DCMAKE_BUILD_TYPE=Release "$@"
run_logged "$work/build.log" "$cmake" --build "$work/outside_build"
run_logged "$work/outside_install.log" "$cmake" --install "$work/outside_build"

# What a user sets (a ROS 2 setup script does the same): both prefixes in the resource index, and
# the libraries for programs of the outside package. The installed programs find their own
# libraries without help.
export AMENT_PREFIX_PATH=$outside_prefix:$prefix
export SPDLOG_STDOUT=true SPDLOG_SYSTEMD=false
unset SPDLOG_LEVEL
LD_LIBRARY_PATH=$prefix/lib run_logged "$work/probe.log" \
  "$outside_prefix/lib/outside_semantic_layers/outside_link_probe"
cat "$work/probe.log"

cat >"$work/params.yaml" <<PARAMS
/global_semanticmap/global_semanticmap:
  ros__parameters:
    global_frame: map
    robot_base_frame: base_link
    rolling_window: false
    width: 12
    height: 12
    origin_x: -5.0
    origin_y: -6.0
    resolution: 0.1
    update_frequency: 10.0
    publish_frequency: 1.0
    plugins: ["marks"]
    marks:
      plugin: "nav2_costmap_2d::TestMarkLayer"
    semanticmap_plugins: ["obstacle_map_layer", "global_stripe"]
    obstacle_map_layer:
      plugin: "semantic_map::ObstacleMapPublishLayer"
      topic_name: "obstacle_map"
    global_stripe:
      plugin: "outside_semantic_layers::StripeLayer"
      row: 3
/local_semanticmap/local_semanticmap:
  ros__parameters:
    global_frame: odom
    robot_base_frame: base_link
    rolling_window: true
    width: 4
    height: 4
    resolution: 0.1
    update_frequency: 10.0
    publish_frequency: 1.0
    plugins: ["marks"]
    marks:
      plugin: "nav2_costmap_2d::TestMarkLayer"
    semanticmap_plugins: ["local_stripe"]
    local_stripe:
      plugin: "outside_semantic_layers::StripeLayer"
      row: 5
PARAMS

# wait_for <log> <seconds> <text>...: until every text is in the log; fails when the child ends
# first or the time is up.
wait_for() {
  local log=$1 deadline=$((SECONDS + $2)) text missing
  shift 2
  while true; do
    missing=
    for text in "$@"; do
      grep -qF -- "$text" "$log" || { missing=$text; break; }
    done
    [[ -z $missing ]] && return 0
    if ! kill -0 "$child" 2>/dev/null || ((SECONDS >= deadline)); then
      cat "$log" >&2
      fail "no \"$missing\" in the output of $(basename "$log" .log)"
    fi
    sleep 0.2
  done
}

# interrupt <log>: SIGINT to the child, which must exit with 0 within 30 s.
interrupt() {
  local log=$1 deadline=$((SECONDS + 30)) status
  kill -INT "$child"
  while kill -0 "$child" 2>/dev/null && ((SECONDS < deadline)); do
    sleep 0.2
  done
  if kill -0 "$child" 2>/dev/null; then
    cat "$log" >&2
    fail "$(basename "$log" .log) did not stop within 30 s of SIGINT"
  fi
  wait "$child"
  status=$?
  child=
  if ((status != 0)); then
    cat "$log" >&2
    fail "$(basename "$log" .log) exited with $status after SIGINT"
  fi
}

programs=$prefix/lib/brindlex_nav2_semanticmap

# The server loads the outside layer through the resource index and configures it in both nodes;
# with no TF it stays in activation, where SIGINT must still end it cleanly.
: >"$work/semanticmap_node.log"
"$programs/semanticmap_node" --ros-args --params-file "$work/params.yaml" \
  >"$work/semanticmap_node.log" 2>&1 &
child=$!
wait_for "$work/semanticmap_node.log" 60 \
  "StripeLayer global_stripe configured on global_semanticmap: row 3" \
  "StripeLayer local_stripe configured on local_semanticmap: row 5"
interrupt "$work/semanticmap_node.log"
echo "semanticmap_node: outside layer configured in both nodes, clean exit on SIGINT"

# The demo brings its own TF (the robot drives inside both grids), so both nodes activate and run
# their update cycles; the stripe crosses each grid: 12 m and 4 m at 0.1 m.
: >"$work/semanticmap_demo.log"
TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS }suppressions=$source_dir/test/install/tsan_suppressions.txt" \
  "$programs/semanticmap_demo" --params-file "$work/params.yaml" --output "$work/demo_maps" \
  >"$work/semanticmap_demo.log" 2>&1 &
child=$!
wait_for "$work/semanticmap_demo.log" 60 \
  "StripeLayer global_stripe updated the map: 120 cells marked" \
  "StripeLayer local_stripe updated the map: 40 cells marked"
interrupt "$work/semanticmap_demo.log"
grep -qF "semanticmap_demo: done" "$work/semanticmap_demo.log" ||
  fail "semanticmap_demo did not finish its run"
echo "semanticmap_demo: outside layer updated the map in both nodes, clean exit on SIGINT"
