#!/usr/bin/env bash
# The Windows installer and the installed Quorvel.exe under Wine, as a user meets them: a silent
# install into a fresh prefix, the stand-in host registered, the real windows driven with the
# pointer and keyboard (xdotool, openbox on Xvfb), drawings checked by ezdxf, then the uninstaller.
#   installed_windows.sh <setup.exe> <cadh.exe> <ezdxf_tool.py> <work folder> [<screenshot folder>]
# QUORVEL_TEST_BUSY_HOST_ARGS: arguments that make the stand-in host reject calls for a few
# seconds after it starts (given to "cadh.exe /regserver"); when set, a run must ride that out.
set -euo pipefail
if [[ -z "${QUORVEL_GUI_DISPLAY:-}" ]]; then
    export QUORVEL_GUI_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$0" "$@"
fi
setup="$1"
cadh="$2"
drawings_tool="$3"
work="$4"
shots="${5:-$work/screenshots}"
here="$(cd "$(dirname "$0")" && pwd)"
py=/usr/bin/python3
source "$here/guilib.sh"

[[ -f "$setup" ]] || fail "no installer $setup"
rm -rf "$work"
mkdir -p "$work/drawings" "$shots"
openbox >/dev/null 2>&1 &
openbox_pid=$!
quorvel_pid=""
cleanup() {
    [[ -n "$quorvel_pid" ]] && kill "$quorvel_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    kill "$openbox_pid" 2>/dev/null || true
}
trap cleanup EXIT

step "a fresh Wine prefix with a Chinese font in its Fonts folder"
make_prefix
programs="$WINEPREFIX/drive_c/Program Files/Quorvel"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'

step "silent install: $(basename "$setup") /S"
wine_run "$setup" /S || fail "the installer failed"
for file in Quorvel.exe quorvel-batch.exe Quorvel.chm TEMPLATE/acad.dwt uninstall.exe; do
    [[ -f "$programs/$file" ]] || fail "not installed: $file"
done
[[ -f "$menu/Quorvel.lnk" ]] || fail "no Start-menu entry"
wine_run reg query "$uninstall_key" /v UninstallString 2>/dev/null | grep -q 'uninstall.exe' ||
    fail "the uninstaller is not in the programs list"
# Nothing but the system's own libraries beside the program.
for program in Quorvel.exe quorvel-batch.exe; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$programs/$program" | sed -n 's/.*DLL Name: //p')
    grep -qiE 'qt6|libstdc|libgcc|pthread' <<<"$dlls" && fail "$program needs $dlls"
done

step "the stand-in host registered, a browser that records what it is asked to open"
wine_run "$cadh" /regserver
cat >"$work/browser.sh" <<EOF
#!/bin/sh
echo "\$1" >>"$work/opened.txt"
EOF
chmod +x "$work/browser.sh"
wine_run reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$work/browser.sh" /f >/dev/null

# Three drawings with Chinese names in three versions, listed in a GBK list file with CR LF.
d="$work/drawings"
"$py" "$drawings_tool" write r12 "$d/detail-R12.dwg"
"$py" "$drawings_tool" write r2018 "$d/一层平面图.dwg"
"$py" "$drawings_tool" write r2000 "$d/总平面图.dwg"
"$py" "$drawings_tool" write r2000 "$d/older.dwg"
"$py" "$drawings_tool" write r12 "$d/older-R12.dwg"
list_file() { # file, drawings...
    local out="$1"
    shift
    for name in "$@"; do printf '%s\r\n' "$(winpath "$d/$name")"; done | iconv -f UTF-8 -t GBK >"$out"
}
list_file "$work/newer.txt" 总平面图.dwg 一层平面图.dwg detail-R12.dwg
list_file "$work/older.txt" older.dwg older-R12.dwg
for name in detail-R12 一层平面图 总平面图 older older-R12; do
    cp "$d/$name.dwg" "$work/$name.original"
done

# A visible window of the given client size (the frameless progress window has no title).
window_of_size() { # width, height
    local window X Y WIDTH HEIGHT
    for _ in $(seq 50); do
        for window in $(xdotool search --onlyvisible --class 'quorvel' 2>/dev/null); do
            geometry "$window"
            if [[ $WIDTH == "$1" && $HEIGHT == "$2" ]]; then
                echo "$window"
                return 0
            fi
        done
        sleep 0.2
    done
    return 1
}

# Hook for a host that rejects calls for a while after it starts: the run must wait it out.
busy_host_run() {
    [[ -n "${QUORVEL_TEST_BUSY_HOST_ARGS:-}" ]] || return 0
    step "a host that rejects calls for a few seconds is ridden out"
    # Ended as a user would, so that no stale entry of it stays in the running-object table.
    wine_run taskkill /im cadh.exe >/dev/null 2>&1 || true
    wait_gone '^CAD 主机' 20 || wine_run taskkill /f /im cadh.exe >/dev/null 2>&1 || true
    # shellcheck disable=SC2086
    wine_run "$cadh" /regserver $QUORVEL_TEST_BUSY_HOST_ARGS
    "$py" "$drawings_tool" write r2000 "$d/busy.dwg"
    cp "$d/busy.dwg" "$work/busy.original"
    list_file "$work/busy.txt" busy.dwg
    read_list "$work/busy.txt"
    click_in "$main" 318 304 # "完全匹配" off
    click_in "$main" 166 400 # "For R2000+"
    batch_run 6
    check_drawings align=mc 旧文本 新内容 busy # 修改文本的对齐方式 is still ticked
    click_in "$progress" 130 20 2
    wait_window '^Quorvel V2\.0$' 10 >/dev/null || fail "the main window did not come back"
}

step "Quorvel.exe as installed"
start_quorvel() {
    wine_run "C:\\Program Files\\Quorvel\\Quorvel.exe" >"$work/quorvel.log" 2>&1 &
    quorvel_pid=$!
    main=$(wait_window '^Quorvel V2\.0$' 90) || fail "no main window"
    sleep 2
}
start_quorvel
shot main-window "$main"
shot desktop

# The panels: one at each screen edge; the pointer at an edge brings its panel back.
panels=$(xdotool search --name '^休息一下，马上回来！$' 2>/dev/null | wc -l)
[[ "$panels" -ge 2 ]] || fail "$panels side panels"
show_panel() { # left|right; prints the panel's window
    local x=0 window X Y WIDTH HEIGHT
    [[ "$1" == right ]] && x=1279
    xdotool mousemove --sync "$x" 500
    sleep 1.5
    for window in $(xdotool search --name '^休息一下，马上回来！$'); do
        geometry "$window"
        if [[ "$1" == left && $X -lt 640 || "$1" == right && $X -ge 640 ]]; then
            echo "$window"
            return
        fi
    done
}
shot side-panel-left "$(show_panel left)"
shot side-panel-right "$(show_panel right)"

step "Qt's dialogs in Chinese: the list file dialog, cancelled, then its message"
click_in "$main" 496 232 # "  读取列表"
dialog=$(wait_window '^读取列表文件$' 20) || fail "no list file dialog"
sleep 1
shot file-dialog "$dialog"
xdotool key Escape
message=$(wait_window '^错误$' 10) || fail "no message after the cancelled dialog"
shot message-box "$message"
xdotool key Return
wait_gone '^错误$' 10 || fail "the message stays"

read_list() { # list file
    click_in "$main" 496 232
    wait_window '^读取列表文件$' 20 >/dev/null || fail "no list file dialog"
    sleep 1
    printf '%s' "$(winpath "$1")" | xclip -selection clipboard
    xdotool key ctrl+a ctrl+v Return
    wait_gone '^读取列表文件$' 10 || fail "the list file dialog stays"
    sleep 1
    ! xdotool search --onlyvisible --name '^错误$' >/dev/null 2>&1 || fail "reading $1 failed"
}
read_list "$work/newer.txt"
enter_text "$main" 180 297 "旧文本" # "查找内容"
enter_text "$main" 180 329 "新内容" # "替换为"
click_in "$main" 318 336 # "指定图层"
enter_text "$main" 492 336 "标注"
click_in "$main" 318 368 # "修改文本的对齐方式" (mc)
click_in "$main" 318 400 # "修改文本的高度" (5)
shot main-window-filled "$main"

texts_of() { "$py" "$drawings_tool" entities "$1" | awk -F'\t' '$3 == "TEXT"' | sort; }

step "preview: the first drawing changed in the host's window, not on disk"
click_in "$main" 64 452 # "  替换预览"
host=$(wait_window '^CAD 主机' 60) || fail "no host window after the preview"
sleep 2
shot preview "$host"
cmp -s "$d/detail-R12.dwg" "$work/detail-R12.original" || fail "the preview changed the file"

step "batch run, newer generation, on layer 标注 with justification mc and height 5"
batch_run() { # drawings expected saved
    click_in "$main" 170 452 # "  批量替换"
    for _ in $(seq 900); do
        [[ $(ls "$d"/*.bak 2>/dev/null | wc -l) -ge $1 ]] && break
        xdotool search --onlyvisible --name '^错误$' >/dev/null 2>&1 && fail "the run reported an error"
        sleep 0.2
    done
    [[ $(ls "$d"/*.bak 2>/dev/null | wc -l) -ge $1 ]] || fail "the run saved too few drawings"
    progress=$(window_of_size 260 76) || fail "no progress window"
    sleep 1
}
batch_run 3
shot progress-window "$progress"
check_drawings() { # options, find, replacement, drawings...
    local options="$1" find="$2" replacement="$3" name
    shift 3
    for name in "$@"; do
        [[ -f "$d/$name.bak" ]] || fail "$name: no backup, so not saved"
        cmp -s "$d/$name.bak" "$work/$name.original" || fail "$name.bak is not the original"
        "$py" "$here/check_texts.py" "$options" "$find" "$replacement" "$d/$name.bak" \
            "$d/$name.dwg" || fail "$name.dwg: the texts are not as the options ask"
    done
}
check_drawings layer=标注,height=5,align=mc 旧文本 新内容 detail-R12 一层平面图 总平面图

step "a double-click on the progress window brings the main window back"
click_in "$progress" 130 20 2
wait_window '^Quorvel V2\.0$' 10 >/dev/null || fail "the main window did not come back"

step "batch run, older generation (keystrokes), exact match"
wine_run taskkill /im cadh.exe >/dev/null 2>&1 || true
wait_gone '^CAD 主机' 20 || wine_run taskkill /f /im cadh.exe >/dev/null 2>&1 || true
wine_run "$cadh" /regserver --release R14
read_list "$work/older.txt"
click_in "$main" 318 336 # "指定图层" off
click_in "$main" 318 400 # "修改文本的高度" off
click_in "$main" 318 304 # "完全匹配"
click_in "$main" 46 400 # "For R14"
shot main-window-older "$main"
batch_run 5
check_drawings exact 旧文本 新内容 older older-R12
click_in "$progress" 130 20 2
wait_window '^Quorvel V2\.0$' 10 >/dev/null || fail "the main window did not come back"
busy_host_run

step "更多软件: the home page in the default browser, then the About window"
click_in "$main" 382 452
about=$(wait_window '^Varnholt$' 20) || fail "no About window"
sleep 1
shot about "$about"
xdotool key Return
wait_gone '^Varnholt$' 10 || fail "the About window stays"
grep -qxF "https://www.quorvel.example/" "$work/opened.txt" 2>/dev/null ||
    fail "the home page was not handed to the browser"

step "帮助: the help file in the system's help viewer"
click_in "$main" 276 452
# Its title is the help file's, in code page 936: whole on a Chinese system, not under this Wine.
help=$(wait_window '^Quorvel V2\.0 .' 30) || fail "no help window"
sleep 2
shot help "$help"

step "退出"
click_in "$main" 488 452
for _ in $(seq 100); do kill -0 "$quorvel_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$quorvel_pid" 2>/dev/null && fail "Quorvel.exe did not end"
quorvel_pid=""

step "without a browser control (atl.dll disabled): the panels show their page as a link"
WINEDLLOVERRIDES="mscoree,mshtml,atl=" start_quorvel
panel=$(show_panel left)
shot side-panel-link "$panel"
click_in "$panel" 50 62
grep -qxF "https://www.quorvel.example/bdownload.htm" "$work/opened.txt" ||
    fail "the panel's link did not open its page in the browser"
click_in "$main" 488 452
for _ in $(seq 100); do kill -0 "$quorvel_pid" 2>/dev/null || break; sleep 0.1; done
quorvel_pid=""
wine_run taskkill /im cadh.exe >/dev/null 2>&1 || true
wineserver -w

step "silent uninstall leaves nothing"
wine_run "$programs/uninstall.exe" /S
for _ in $(seq 300); do [[ -e "$programs" ]] || break; sleep 0.2; done
wineserver -w
[[ ! -e "$programs" ]] || fail "left behind: $(find "$programs")"
[[ ! -e "$menu" ]] || fail "the Start-menu entry stays"
wine_run reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstaller stays in the programs list"
for name in detail-R12 一层平面图 总平面图 older older-R12; do
    [[ -f "$d/$name.dwg" ]] || fail "the uninstaller took $name.dwg"
done
echo "all checks of the installed windows passed"
