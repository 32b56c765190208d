#!/bin/sh
# Installs what is missing, builds, and runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cd "${GLOBOID_BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" "$@"
