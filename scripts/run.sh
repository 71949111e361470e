#!/usr/bin/env bash
# Starts Quorvel from a build tree. The program runs on a private session bus that knows the
# build's cad-host, so the host it starts is the one just built.
set -euo pipefail
build="${1:-build}"
program="$build/bin/quorvel"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: start Quorvel from a desktop session (or set DISPLAY)." >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
bus_config="$build/dbus/session.conf"
if [ -f "$bus_config" ]; then
    exec dbus-run-session --config-file="$bus_config" -- "$program"
fi
exec "$program"
