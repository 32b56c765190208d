#!/bin/sh
# Configures and builds into $GLOBOID_BUILD_DIR (default: build), passing
# $GLOBOID_CMAKE_ARGS on to CMake.
set -eu
cd "$(dirname "$0")/.."
dir="${GLOBOID_BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S . -B "$dir" ${GLOBOID_CMAKE_ARGS:-} >/dev/null
cmake --build "$dir" -j "$(nproc)"
