#!/bin/sh
# Cross-builds for arm64 into $GLOBOID_BUILD_DIR (default: build-arm64) and runs
# every test that needs no display under qemu-user, after installing what the
# host and the cross build need. $GLOBOID_CMAKE_ARGS are passed on to CMake;
# further arguments go to ctest.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh arm64
# The installed launcher starts the game directly, which only a kernel that runs
# arm64 programs (natively or through binfmt) can do: install_test stays native.
GLOBOID_BUILD_DIR="${GLOBOID_BUILD_DIR:-build-arm64}" \
GLOBOID_CMAKE_ARGS="-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/aarch64.cmake -DGLOBOID_BENCH=OFF ${GLOBOID_CMAKE_ARGS:-}" \
    scripts/test.sh -L nodisplay -E '^install_test$' "$@"
