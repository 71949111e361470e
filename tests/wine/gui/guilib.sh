# Helpers of the Wine window test (sourced): the Wine prefix, finding, clicking and typing into
# Wine's windows with xdotool, and screenshots. Expects $work, and $shots for the pictures.

loader="$(command -v wine64 || echo /usr/lib/wine/wine64)"
export WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
# No prompts to install Wine's .NET or HTML engines.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine reads file names as UTF-8, so drawings can have Chinese names.
export LC_ALL=C.UTF-8

fail() {
    echo "FAIL: $*"
    echo "--- windows on the screen:"
    local window
    for window in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "  $window $(xdotool getwindowname "$window" 2>/dev/null)"
    done
    [[ -n "${shots:-}" ]] && import -window root "$shots/failure.png" 2>/dev/null
    echo "--- the program's output:"
    tail -n 30 "$work/quorvel.log" 2>/dev/null
    exit 1
}

step() { echo "== $*"; }

wine_run() { "$loader" "$@"; }

# A fresh prefix whose only Chinese font is one copied into its Fonts folder, as on a Windows
# without SimSun: the host's own CJK fonts are hidden from Wine.
make_prefix() {
    export WINEPREFIX="$work/prefix"
    mkdir -p "$work/fontconfig"
    cat >"$work/fontconfig/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>$work/fontconfig/cache</cachedir>
</fontconfig>
EOF
    export FONTCONFIG_FILE="$work/fontconfig/fonts.conf"
    wine_run wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    cp /usr/share/fonts/truetype/arphic/uming.ttc "$fonts/"
    # Wine's own Tahoma and symbol fonts, which a Debian prefix lacks.
    cp /usr/share/wine/fonts/*.ttf "$fonts/"
}

winpath() { echo "Z:${1//\//\\}"; }

# Sets X, Y, WIDTH and HEIGHT to a window's client area on the screen. (xdotool counts the
# window manager's frame twice in a reparented window's position.)
geometry() { # window
    eval "$(xwininfo -id "$1" | awk -F: '
        /Absolute upper-left X/ {print "X=" $2+0} /Absolute upper-left Y/ {print "Y=" $2+0}
        /^ *Width/ {print "WIDTH=" $2+0} /^ *Height/ {print "HEIGHT=" $2+0}')"
}

# Waits for a visible window whose title matches; prints its id.
wait_window() { # title pattern, seconds
    local window
    for _ in $(seq $(($2 * 10))); do
        window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        if [[ -n "$window" ]]; then
            echo "$window"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

wait_gone() { # title pattern, seconds
    for _ in $(seq $(($2 * 10))); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# Clicks at a point of a window's client area (x, y in pixels from its top left corner).
click_in() { # window, x, y[, clicks]
    local X Y WIDTH HEIGHT
    xdotool windowraise "$1" 2>/dev/null || true
    geometry "$1"
    xdotool mousemove --sync $((X + $2)) $((Y + $3)) click --repeat "${4:-1}" --delay 120 1
    sleep 0.7
}

# Text goes in through the clipboard (typing Chinese with xdotool remaps keys on the fly), and is
# read back the same way.
enter_text() { # window, x, y, text
    click_in "$1" "$2" "$3"
    printf '%s' "$4" | xclip -selection clipboard
    xdotool key ctrl+a ctrl+v
    sleep 0.5
    printf '' | xclip -selection clipboard
    xdotool key ctrl+a ctrl+c
    sleep 0.5
    local entered
    entered=$(xclip -o -selection clipboard 2>/dev/null) || true
    [[ "$entered" == "$4" ]] || fail "the field at ($2, $3) holds \"$entered\", not \"$4\""
}

# A picture of one window with the window manager's frame, or of the whole screen.
shot() { # name[, window]
    if [[ -z "${2:-}" ]]; then
        import -window root "$shots/$1.png"
        return
    fi
    local X Y WIDTH HEIGHT left=0 right=0 top=0 bottom=0 extents
    geometry "$2"
    extents=$(xprop -id "$2" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    if [[ -n "$extents" ]]; then
        IFS=, read -r left right top bottom <<<"$extents"
    fi
    import -window root -crop "$((WIDTH + left + right))x$((HEIGHT + top + bottom))+$((X - left))+$((Y - top))" \
        +repage "$shots/$1.png"
}
