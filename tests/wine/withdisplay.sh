#!/usr/bin/env bash
# Runs a Windows program under Wine with an X display: the caller's, else a private Xvfb.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$here/../../scripts/wine-run.sh" "$@"
fi
exec "$here/../../scripts/wine-run.sh" "$@"
