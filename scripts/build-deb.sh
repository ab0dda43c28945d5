#!/usr/bin/env bash
# Builds the Debian package as a packager would: Debian's own compiler and
# linker flags with all hardening, no tests, stripped binaries; then lets
# lintian judge it. The package lands in the build directory.
#
# usage: scripts/build-deb.sh [BUILD_DIR]     (default: build/deb)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/deb}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DBUBBLE_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/*.deb)
echo "built $deb"
lintian --fail-on error,warning --display-info "$deb"
