# The start the Wine test scripts share, sourced with their arguments:
#   source "$(dirname "$0")/prelude.sh" <program folder> <ezdxf_tool.py> <work folder>
# Runs the script again under a display of its own when there is none, and sets bin, drawings,
# work, here, run (scripts/wine-run.sh), py and WINEPREFIX.
if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
bin="$1"
drawings="$2"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../../scripts/wine-run.sh"
export WINEPREFIX="${WINEPREFIX:-$(cd "$bin/.." && pwd)/wineprefix}"
py=/usr/bin/python3
