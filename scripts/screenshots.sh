#!/usr/bin/env bash
# Takes the start-up and About window screenshots on a private Xvfb screen (1280 x 1024, 96 DPI):
# docs/screenshots/startup.png (main window between the two side panels) and
# docs/screenshots/about.png (the About window over the main window, after "  更多软件").
# Needs xvfb, xdotool, x11-utils and imagemagick (scripts/install-deps.sh).
set -euo pipefail
build="${1:-build}"
out="${2:-docs/screenshots}"
program="$(realpath "$build/bin/quorvel")"
out="$(realpath "$out")"
mkdir -p "$out"

if [ -z "${QUORVEL_SCREENSHOT_DISPLAY:-}" ]; then
    exec env QUORVEL_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
        "$0" "$build" "$out"
fi

if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# The pointer rests in the middle of the screen, over neither panel.
"$program" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

# The panels hide five seconds after start-up: take the picture before that.
for _ in $(seq 30); do
    xdotool search --name '^Quorvel V2.0$' >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 2.5
import -window root "$out/startup.png"

# "  更多软件" sits at (342, 440) in the main window, 81 x 25 pixels.
main=$(xdotool search --name '^Quorvel V2.0$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 382)) $((Y + 452)) click 1
sleep 1
xdotool mousemove 640 200
sleep 0.3
import -window root "$out/about.png"
echo "Wrote $out/startup.png and $out/about.png"
