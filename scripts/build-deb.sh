#!/usr/bin/env bash
# Builds the Debian package quorvel_<version>_amd64.deb in a build tree of its own, with Debian's
# hardening flags, and checks it with lintian (any error fails).
set -euo pipefail
build="${1:-build-deb}"
jobs="${2:-$(nproc)}"

# Debian's compiler and linker flags with every hardening feature (fortify, stack protector,
# relro, bind now), given outright so that a changed flag reaches an existing tree too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUORVEL_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

rm -f "$build"/quorvel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package="$(ls "$build"/quorvel_*.deb)"
echo "Built $package ($(du -h "$package" | cut -f1))"
lintian --fail-on error --display-info --pedantic "$package"
