#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's own prefix (made on first use).
# WINEPREFIX defaults to <folder of the program's build>/wineprefix.
set -euo pipefail
program="$1"
shift
if [[ -z "${WINEPREFIX:-}" ]]; then
    folder="$(cd "$(dirname "$program")" && pwd)"
    while [[ "$folder" != / && ! -f "$folder/CMakeCache.txt" ]]; do
        folder="$(dirname "$folder")"
    done
    export WINEPREFIX="$folder/wineprefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
loader="$(command -v wine64 || echo /usr/lib/wine/wine64)"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    # Tests may start in parallel: one of them makes the prefix, the others wait for it.
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
            "$loader" wineboot -i >/dev/null 2>&1 || true
            wineserver -w 2>/dev/null || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$program" "$@"
