#!/bin/sh
# Installs the Debian packages the build, the game and the tests need, skipping
# those already installed. Runs apt-get as root, or through sudo.
set -eu

packages="cmake make g++ libsdl2-dev libpng-dev libgtest-dev libbenchmark-dev libx11-dev libasio-dev xvfb xdotool x11-apps openbox"

# scripts/deps.sh fuzz: Debian's clang and its libFuzzer runtime as well, for scripts/fuzz.sh.
if [ "${1:-}" = fuzz ]; then
    packages="$packages clang-14 libclang-rt-14-dev"
fi
# scripts/deps.sh format: the formatter that scripts/check-format.sh runs.
if [ "${1:-}" = format ]; then
    packages="$packages clang-format-14"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "These packages are missing and neither root nor sudo is at hand:$missing" >&2
    exit 1
fi
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
