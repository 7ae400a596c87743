#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
  build-essential cmake ninja-build ccache git pkg-config python3 \
  ament-cmake python3-ament-package python3-catkin-pkg \
  libament-index-cpp-dev libclass-loader-dev pluginlib-dev \
  librcutils-dev librcpputils-dev libtinyxml2-dev libconsole-bridge-dev \
  libeigen3-dev libpcl-dev libopencv-dev libgraphicsmagick++1-dev libyaml-cpp-dev \
  libspdlog-dev libfmt-dev libsystemd-dev \
  libgtest-dev libgmock-dev libbenchmark-dev
