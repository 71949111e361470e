#!/bin/bash
# Runs as the user "tester" on a fresh session bus in the package test root: starts the installed
# quorvel, reads the list of the sample drawings and runs a batch replacement through the window,
# with the pointer and keyboard (xdotool), as a user would. The bus starts the installed cad-host
# through the installed activation file.
set -euo pipefail
work="${QUORVEL_TEST_WORK:-$HOME/work}"
installed_host="${QUORVEL_TEST_HOST:-/usr/lib/quorvel/cad-host}"
log="$HOME/quorvel.log"
# No user namespaces inside a chroot, so the web view's sandbox cannot start.
export QTWEBENGINE_DISABLE_SANDBOX=1

fail() {
    echo "drive: $*" >&2
    echo "--- windows on the screen:" >&2
    for window in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "$(xdotool getwindowname "$window")" >&2
    done
    echo "--- quorvel's output:" >&2
    cat "$log" >&2 || true
    exit 1
}

wait_for_window() { # title pattern, seconds[, --class to match the class instead]
    local window
    for _ in $(seq $(($2 * 10))); do
        window=$(xdotool search --onlyvisible "${3:---name}" "$1" 2>/dev/null | head -n 1) || true
        if [ -n "$window" ]; then
            echo "$window"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

command -v quorvel >/dev/null || fail "quorvel is not on PATH"
quorvel >"$log" 2>&1 &
quorvel_pid=$!
host_pid=""
trap 'kill $quorvel_pid $host_pid 2>/dev/null || true' EXIT

main=$(wait_for_window '^Quorvel V[0-9.]+$' 90) || fail "no main window"
xwininfo -id "$main" | grep -q 'Map State: IsViewable' || fail "the main window is not viewable"
echo "Main window $main: $(xwininfo -id "$main" | awk '/Width|Height/ {printf "%s ", $2}')pixels"
# Let start-up (the side panels' web views) settle before the pointer moves.
sleep 5
eval "$(xdotool getwindowgeometry --shell "$main")"

# Positions in the window at 96 DPI (15 twips a pixel), the centres of the controls.
click() { xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1; sleep 0.5; }

click 496 232 # "  读取列表"
dialog=$(wait_for_window '^读取列表文件$' 20) || fail "no list file dialog"
eval "$(xdotool getwindowgeometry --shell --prefix D_ "$dialog")"
xdotool mousemove --sync $((D_X + D_WIDTH / 2)) $((D_Y + 20))
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool type --delay 30 "$work/list.txt"
xdotool key Return
for _ in $(seq 50); do
    xdotool search --onlyvisible --name '^读取列表文件$' >/dev/null 2>&1 || break
    sleep 0.1
done
sleep 1
! xdotool search --onlyvisible --name '^错误$' >/dev/null 2>&1 || fail "reading the list failed"

# Help opens the installed help file in the desktop's CHM viewer (xchm here, through xdg-open).
click 276 452 # "  帮助"
viewer=$(wait_for_window '^xchm$' 30 --class) || fail "the help button opened no CHM viewer"
viewer_pid=$(xdotool getwindowpid "$viewer") || fail "the viewer's window names no process"
viewer_command=$(tr '\0' ' ' <"/proc/$viewer_pid/cmdline")
echo "Help: $viewer_command"
[[ "$viewer_command" == *"/usr/lib/quorvel/Quorvel.chm"* ]] || fail "the viewer has no help file"
xdotool windowkill "$viewer"
sleep 1

# Chinese text goes in through the clipboard: typing it with xdotool remaps keys on the fly and
# can drop characters on a loaded machine. Each field is read back the same way.
enter_text() { # x, y, text
    click "$1" "$2"
    printf '%s' "$3" | xclip -selection clipboard
    xdotool key ctrl+a ctrl+v
    sleep 0.5
    printf '' | xclip -selection clipboard
    xdotool key ctrl+a ctrl+c
    sleep 0.5
    local entered
    entered=$(xclip -o -selection clipboard)
    [ "$entered" = "$3" ] || fail "the field at ($1, $2) holds \"$entered\", not \"$3\""
}
enter_text 180 297 "示例设计院" # "查找内容"
enter_text 180 329 "新建设计院" # "替换为"
click 170 452 # "  批量替换"

# The run saves each drawing, keeping the previous file as <name>.bak.
drawings=$(ls "$work"/*.dwg | wc -l)
for _ in $(seq 1200); do
    [ "$(ls "$work"/*.bak 2>/dev/null | wc -l)" -eq "$drawings" ] && break
    xdotool search --onlyvisible --name '^错误$' >/dev/null 2>&1 && fail "the run reported an error"
    sleep 0.1
done
[ "$(ls "$work"/*.bak 2>/dev/null | wc -l)" -eq "$drawings" ] ||
    fail "the batch run saved $(ls "$work"/*.bak 2>/dev/null | wc -l) of $drawings drawings"
sleep 2
echo "Batch run: $drawings drawings saved, each with its .bak"

# The host that did the work: the owner of AutoCAD.Application. (The bus daemon's own log, kept by
# the caller, shows that it started it.)
host_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:AutoCAD.Application |
    awk '/uint32/ {print $2}') || fail "nobody owns AutoCAD.Application"
host_exe=$(readlink "/proc/$host_pid/exe") || fail "no process $host_pid"
echo "AutoCAD.Application is process $host_pid, $host_exe"
[ "$host_exe" = "$installed_host" ] || fail "the host is $host_exe"

# Users cannot write the installed program folder: the run's script file goes to their data folder.
if [ ! -w "$(dirname "$installed_host")" ]; then
    [ -f "$HOME/.local/share/Quorvel/batch.scr" ] || fail "no script file in ~/.local/share/Quorvel"
    echo "The run's script file: ~/.local/share/Quorvel/batch.scr"
fi
kill -0 $quorvel_pid 2>/dev/null || fail "quorvel has ended"
