#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quorvel need.
# Idempotent and quick when everything is already there: apt-get runs only for missing packages.
# With --package, also what building, checking and trying out the Debian package needs.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-webengine-dev libqt6opengl6-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libicu-dev libssl-dev time
    clang-14 libclang-rt-14-dev
    python3-ezdxf librecad librecad-data
    openscad-testing-data gnuplot-nox pstoedit dime
    xvfb xauth x11-utils imagemagick
    dbus dbus-x11 libdbus-1-dev
    fonts-noto-cjk fonts-arphic-uming qt6-translations-l10n
    fp-utils desktop-file-utils appstream xdotool
    g++-mingw-w64-x86-64-posix wine wine64
    xchm xdg-utils openbox xclip nsis
)
if [ "${1:-}" = --package ]; then
    packages+=(dpkg-dev file lintian debootstrap)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
