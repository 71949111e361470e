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
    mkdir -p "$WINEPREFIX"
    WINELOADER="$loader" "$loader" wineboot -i >/dev/null 2>&1 || true
    "$(dirname "$loader")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi
exec "$loader" "$program" "$@"
