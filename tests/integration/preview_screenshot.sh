#!/usr/bin/env bash
# Renews docs/screenshots/preview.png from a build tree: Quorvel and cad-host side by side after
# a preview of the site-plan sample, on a private X server and a private bus.
set -euo pipefail
build="${1:-build}"
here="$(cd "$(dirname "$0")/../.." && pwd)"
mkdir -p "$here/docs/screenshots"
env -u DISPLAY -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1680x820x24 -dpi 96" \
    "$build/tests/preview_screenshot" "$here/docs/screenshots/preview.png" \
    "$here/samples/总平面图.dwg"
