#!/bin/sh
# Installs what is missing, builds, and starts the game.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
dir="${GLOBOID_BUILD_DIR:-build}"
if [ ! -x "$dir/globoid" ]; then
    echo "There is no game yet: the build has no globoid program to start." >&2
    exit 1
fi
# The game reads its pictures from Sprites/ in the working directory.
cd "$dir"
exec ./globoid "$@"
