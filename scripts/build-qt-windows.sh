#!/usr/bin/env bash
# Builds Qt for Windows (x86_64, static, Core/Gui/Widgets with the windows platform plugin) from
# Debian's own source package with Debian's mingw-w64, once per machine, into a cache outside the
# build tree. Prints the cache's path on its last line; quick when the cache is already there.
#
#   scripts/build-qt-windows.sh            build if missing, print the prefix
#   scripts/build-qt-windows.sh --check    print the prefix if the cache is complete, else fail
#
# QUORVEL_QT_WINDOWS_CACHE overrides the cache folder (default /var/cache/quorvel as root,
# ~/.cache/quorvel otherwise). QT_BUILD_JOBS sets the parallel jobs (default: every core).
set -euo pipefail

QT_SOURCE_PACKAGE=qt6-base
QT_SOURCE_VERSION=6.4.2+dfsg-10
QT_VERSION=6.4.2

if [ "$(id -u)" -eq 0 ]; then default_cache=/var/cache/quorvel; else default_cache="$HOME/.cache/quorvel"; fi
CACHE=${QUORVEL_QT_WINDOWS_CACHE:-$default_cache}
PREFIX="$CACHE/qt-$QT_VERSION-mingw64-static"
WORK="$CACHE/qt-$QT_VERSION-mingw64-work"
STAMP="$PREFIX/.quorvel-complete"
JOBS=${QT_BUILD_JOBS:-$(nproc)}
here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" = --check ]; then
    [ -f "$STAMP" ] && { echo "$PREFIX"; exit 0; }
    exit 1
fi
if [ -f "$STAMP" ]; then
    echo "$PREFIX"
    exit 0
fi

mkdir -p "$CACHE"
# One build at a time per cache: a second caller waits for the first and then reuses its result.
exec 9>"$CACHE/.qt-windows.lock"
flock 9
if [ -f "$STAMP" ]; then
    echo "$PREFIX"
    exit 0
fi

say() { echo "build-qt-windows: $*" >&2; }
say "Qt $QT_VERSION for Windows is not in $CACHE yet: building it once for this machine."
say "This takes about 25 minutes on two idle cores (about 46 minutes of processor time)."
started=$(date +%s)

# What the build needs, all from Debian 12.
need=(qt6-base-dev-tools qt6-translations-l10n g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev perl)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}"
fi

# The source, fetched by apt from the signed archive (apt checks the Sources index's signature
# and each file's hash); dpkg-source checks the hashes of the .dsc again when unpacking.
SRC="$CACHE/source"
DSC="$SRC/${QT_SOURCE_PACKAGE}_${QT_SOURCE_VERSION#*:}.dsc"
if [ ! -f "$DSC" ]; then
    if ! apt-get source --print-uris "$QT_SOURCE_PACKAGE=$QT_SOURCE_VERSION" >/dev/null 2>&1; then
        say "adding a deb-src entry for Debian 12's main archive"
        cat > /etc/apt/sources.list.d/quorvel-deb-src.sources <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        apt-get update -qq
    fi
    mkdir -p "$SRC"
    (cd "$SRC" && apt-get source -qq --download-only "$QT_SOURCE_PACKAGE=$QT_SOURCE_VERSION")
fi

# An interrupted build goes on where it stopped: its configured tree is kept until the end.
if [ -f "$WORK/build/build.ninja" ] && [ -f "$WORK/toolchain.cmake" ]; then
    say "going on with the interrupted build in $WORK"
else
    rm -rf "$WORK"
    mkdir -p "$WORK"
    say "unpacking $(basename "$DSC")"
    dpkg-source -q -x "$DSC" "$WORK/src" >"$WORK/unpack.log"

    cp "$here/../cmake/mingw64-compilers.cmake" "$WORK/toolchain.cmake"

    # -qt-host-path /usr: Debian's host Qt of the same version provides moc, rcc and uic.
    # -no-feature-tabletevent: the +dfsg source has no wintab headers, nor does mingw-w64.
    # -no-feature-direct2d -no-feature-directwrite3: in 6.4.2 the DirectWrite font database is only
    #   compiled with direct2d, yet the platform plugin refers to it with directwrite3 on.
    # -qt-*: bundled third-party libraries, so the programs need no DLLs beside them.
    say "configuring"
    mkdir -p "$WORK/build"
    (cd "$WORK/build" && "$WORK/src/configure" \
        -prefix "$PREFIX" \
        -release -static -static-runtime \
        -qt-host-path /usr \
        -nomake examples -nomake tests \
        -no-opengl -no-vulkan -no-dbus -no-icu -no-pkg-config -no-zstd \
        -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-doubleconversion \
        -no-feature-sql -no-feature-network -no-feature-testlib -no-feature-printsupport \
        -no-feature-concurrent -no-feature-xml \
        -no-feature-tabletevent -no-feature-direct2d -no-feature-directwrite3 \
        -no-feature-androiddeployqt \
        -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/toolchain.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >"$WORK/configure.log" 2>&1 || {
        tail -30 "$WORK/configure.log" >&2
        say "configure failed; the whole log is $WORK/configure.log"
        exit 1
    }
fi

say "building with $JOBS jobs (log: $WORK/build.log)"
if ! nice -n 10 cmake --build "$WORK/build" --parallel "$JOBS" >"$WORK/build.log" 2>&1; then
    tail -30 "$WORK/build.log" >&2
    say "build failed; the whole log is $WORK/build.log"
    exit 1
fi
rm -rf "$PREFIX"
cmake --install "$WORK/build" >"$WORK/install.log" 2>&1

# Qt's own Chinese catalogue (Debian's, of the same version), which the programs embed.
mkdir -p "$PREFIX/translations"
if ! cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$PREFIX/translations/"; then
    say "Qt's Chinese catalogue is missing: install qt6-translations-l10n"
    exit 1
fi

elapsed=$(($(date +%s) - started))
{
    echo "source: $QT_SOURCE_PACKAGE $QT_SOURCE_VERSION (Debian)"
    echo "built: $(date -u +%FT%TZ) in ${elapsed} s with $JOBS jobs by $here/$(basename "$0")"
} >"$PREFIX/quorvel-build-info.txt"
touch "$STAMP"
rm -rf "$WORK"
say "done in $((elapsed / 60)) min $((elapsed % 60)) s; installed $(du -sh "$PREFIX" | cut -f1)"
echo "$PREFIX"
