#!/bin/sh
# Installs what the arm64 cross build and its tests need: Debian's cross compiler,
# qemu-user to run the results, and arm64 builds of the libraries the code links,
# from Debian's multiarch archive. Skips what is already installed.
set -eu

packages="g++-aarch64-linux-gnu qemu-user-static libsdl2-dev:arm64 libpng-dev:arm64 libgtest-dev:arm64"

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    as_root="missing"
fi

if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    [ "$as_root" = missing ] && { echo "arm64 is not a dpkg architecture here and neither root nor sudo is at hand" >&2; exit 1; }
    $as_root dpkg --add-architecture arm64
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$as_root" = missing ]; then
    echo "These packages are missing and neither root nor sudo is at hand:$missing" >&2
    exit 1
fi
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# The arm64 libraries must match the versions of their amd64 twins, which may
# therefore be upgraded here too.
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
