#!/bin/sh
# Installs the Debian packages the build, the game and the tests need, skipping
# those already installed. Runs apt-get as root, or through sudo.
set -eu

packages="cmake make g++ libsdl2-dev libpng-dev libgtest-dev libbenchmark-dev libx11-dev libasio-dev xvfb xdotool x11-apps openbox"
# On amd64, qemu-user too: protocol_test runs the engine on an emulated processor
# of the architecture's baseline, without the popcount instruction.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
    packages="$packages qemu-user-static"
fi

# scripts/deps.sh fuzz: Debian's clang and its libFuzzer runtime as well, for scripts/fuzz.sh.
if [ "${1:-}" = fuzz ]; then
    packages="$packages clang-14 libclang-rt-14-dev"
fi
# scripts/deps.sh format: the formatter that scripts/check-format.sh runs.
if [ "${1:-}" = format ]; then
    packages="$packages clang-format-14"
fi
# scripts/deps.sh package: what scripts/package.sh, its checks and
# tests/package-test.sh use: dpkg-shlibdeps, lintian, the desktop entry's and the
# AppStream checkers, man to check the manual page, and debootstrap for a clean root.
if [ "${1:-}" = package ]; then
    packages="$packages dpkg-dev file lintian desktop-file-utils appstream man-db debootstrap"
fi
# scripts/deps.sh arm64: the cross compiler, qemu-user to run what it builds, and
# arm64 builds of the libraries the code links, from Debian's multiarch archive.
if [ "${1:-}" = arm64 ]; then
    packages="$packages g++-aarch64-linux-gnu qemu-user-static libsdl2-dev:arm64 libpng-dev:arm64 libgtest-dev:arm64"
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
if [ "${1:-}" = arm64 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $as_root dpkg --add-architecture arm64
fi
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# With arm64, the arm64 libraries must match the versions of their amd64 twins,
# which may therefore be upgraded here too.
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
