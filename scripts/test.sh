#!/usr/bin/env bash
# Runs every test of a build tree. Tests that need a real window system get one from Xvfb.
set -euo pipefail
build="${1:-build}"
cd "$build"
export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" ctest --output-on-failure -j "$(nproc)"
fi
exec ctest --output-on-failure -j "$(nproc)"
