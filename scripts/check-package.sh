#!/bin/sh
# Builds the Debian package and checks it as a distribution would: lintian with
# no error, the desktop entry and the AppStream metadata validated, and the
# package installed into a clean root, started headless and purged
# (tests/package-test.sh). Needs root for the clean root.
set -eu
cd "$(dirname "$0")/.."
scripts/package.sh
dir="${GLOBOID_BUILD_DIR:-build-deb}"
deb=$(ls "$dir"/globoid_*.deb)
echo "package: $deb, $(stat -c %s "$deb") bytes"
lintian --display-info --fail-on error "$deb"
desktop-file-validate dist/globoid.desktop
appstreamcli validate --no-net "$dir/dist/io.github.globoid.Globoid.metainfo.xml"
tests/package-test.sh "$deb"
