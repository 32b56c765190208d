#!/bin/sh
# Fails when a C++ file of the tree is not as .clang-format lays it out.
# scripts/check-format.sh -i rewrites them in place instead.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh format
mode="--dry-run -Werror"
[ "${1:-}" = -i ] && mode="-i"
# shellcheck disable=SC2086
git ls-files '*.cpp' '*.h' | xargs clang-format-14 $mode
