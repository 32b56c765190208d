#!/bin/sh
# Builds the Debian package globoid_VERSION_ARCH.deb into $GLOBOID_BUILD_DIR
# (default: build-deb), with Debian's hardening flags, the programs in
# /usr/games and the pictures in /usr/share/games/globoid, and prints its path.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh package
dir="${GLOBOID_BUILD_DIR:-build-deb}"
# CMake reads these when the build directory is first configured.
DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_BUILD_MAINT_OPTIONS
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DGLOBOID_BENCH=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_BINDIR=games -DGLOBOID_DATA_DIR=share/games/globoid \
    ${GLOBOID_CMAKE_ARGS:-} >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/globoid_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/globoid_*.deb
