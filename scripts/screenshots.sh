#!/usr/bin/env bash
# Takes the pictures in docs/screenshots/ on a private Xvfb screen (1280 x 1024, 96 DPI) under
# openbox, as on a desktop (QUORVEL_SCREENSHOT_WM=none: without a window manager):
#   startup.png     the main window between the two side panels, right after start-up
#   fields.png      the main window with text typed into its fields
#   filedialog.png  the file dialog of "  添加文件"
#   message.png     the message after that dialog was cancelled
#   about.png       the About window over the main window, after "  更多软件"
# Needs xvfb, openbox, xdotool, x11-utils and imagemagick (scripts/install-deps.sh).
set -euo pipefail
build="${1:-build}"
out="${2:-docs/screenshots}"
program="$(realpath "$build/bin/quorvel")"
mkdir -p "$out"
out="$(realpath "$out")"

if [ -z "${QUORVEL_SCREENSHOT_DISPLAY:-}" ]; then
    exec env QUORVEL_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
        "$0" "$build" "$out"
fi

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT

# Waits up to ten seconds for a command to succeed.
wait_for() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Timed out waiting for: $*" >&2
    return 1
}

# The id of a window by its exact title (xwininfo reads titles in UTF-8, with or without a
# window manager).
window_named() {
    xwininfo -root -tree | grep -F "\"$1\": (" | awk 'NR == 1 { print $1 }' | grep .
}

if [ "${QUORVEL_SCREENSHOT_WM:-openbox}" = openbox ]; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
fi

if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# The pointer rests in the middle of the screen, over neither panel.
xdotool mousemove 640 512
# As on a Chinese desktop: the system locale decides how the file dialog writes dates. The
# tools here read window titles in UTF-8.
export LC_ALL=C.UTF-8
env -u LC_ALL LANG=zh_CN.UTF-8 "$program" >/dev/null 2>&1 &
pids+=($!)
wait_for window_named 'Quorvel V2.0'
main=$(window_named 'Quorvel V2.0')

# Clicks at a point of the main window's client area.
# (xwininfo: xdotool's own geometry is off by the frame under some window managers.)
click_at() {
    local info x y
    info=$(xwininfo -id "$main")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    xdotool mousemove --sync $((x + $1)) $((y + $2)) click 1
}

# The panels hide five seconds after start-up: take the picture before that.
sleep 2.5
import -window root "$out/startup.png"

# Text1 and Text2 (96, 288) and (96, 320), 169 x 18; 指定图层 at (312, 328) enables Text3 at
# (456, 328).
# Typing a character the keyboard lacks remaps a key for a moment, and a key typed while the
# program catches up with the new key map can go astray: one character at a time.
type_into() {
    click_at "$1" "$2"
    sleep 0.3
    xdotool key ctrl+a
    local text="$3" i
    for ((i = 0; i < ${#text}; i++)); do
        xdotool type --delay 100 "${text:i:1}"
        sleep 0.3
    done
}
text='gjpqy_ DIM_1 中文'
type_into 180 297 "$text"
type_into 180 329 "$text"
click_at 318 336
sleep 0.3
type_into 500 337 'DIM_1 gy'
xdotool mousemove 640 1000
sleep 0.3
import -window "$main" -frame "$out/fields.png"

# "  添加文件" sits at (24, 220), 81 x 25: its dialog, then the message after cancelling it.
click_at 64 232
wait_for window_named 'Select File(s)...'
sleep 0.5
import -window root "$out/filedialog.png"
xdotool key Escape
wait_for window_named '错误'
sleep 0.3
import -window root "$out/message.png"
xdotool key Return
sleep 0.3

# "  更多软件" sits at (342, 440), 81 x 25.
click_at 382 452
sleep 1
xdotool mousemove 640 200
sleep 0.3
import -window root "$out/about.png"
echo "Wrote startup, fields, filedialog, message and about in $out"
