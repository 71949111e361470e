#!/usr/bin/env bash
# Makes an HTML report of quorvel-batch over copies of the samples (and one drawing with blocks,
# attributes, arcs and rotated text from the tests' ezdxf tool), then takes its pictures in
# headless Chromium into docs/screenshots/:
#   report-drawings.png  the top of the report: each drawing with its changed texts marked
#   report-rows.png      the table: each text before and after, in its neighbourhood
#   report-filtered.png  the table filtered to one drawing, sorted by kind
# Needs chromium (not part of make test) and ezdxf (/usr/bin/python3).
#   scripts/report-screenshots.sh [build folder] [output folder]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build}"
out="${2:-$here/docs/screenshots}"
program="$(realpath "$build/bin/quorvel-batch")"
mkdir -p "$out"
out="$(realpath "$out")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/drawings" "$work/data"
cp "$here"/samples/*.dwg "$work/drawings/"
/usr/bin/python3 "$here/tests/support/ezdxf_tool.py" write picture "$work/drawings/详图-块与属性.dxf"
printf '图\t图纸\n楼\t大楼\nOLD\t新值\nStair\t楼梯\n' >"$work/pairs.txt"
(cd "$work" && XDG_DATA_HOME="$work/data" "$program" --pairs pairs.txt --kinds all --dry-run \
    --report report.html drawings)
echo "report: $(stat -c %s "$work/report.html") bytes"

# One picture of the page (1400 wide, `height` high), after `script` ran in it.
shoot() {
    local name="$1" height="$2" script="$3"
    { cat "$work/report.html"; printf '<script>(function () {\n%s\n})();</script>\n' "$script"; } \
        >"$work/shot.html"
    timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --force-device-scale-factor=1 --window-size="1400,$height" \
        --screenshot="$out/$name" "file://$work/shot.html" >/dev/null 2>&1
    echo "$out/$name"
}
shoot report-drawings.png 1300 ""
# The table at the top of the window: the drawings' pictures are set aside for the shot.
table="document.querySelector('.drawings').hidden = true;"
shoot report-rows.png 1000 "$table"
# The filter and the sort set as clicks would set them.
shoot report-filtered.png 1000 "$table
  const drawing = document.getElementById('f-drawing');
  drawing.value = 'drawings/详图-块与属性.dxf';
  drawing.dispatchEvent(new Event('change'));
  document.querySelectorAll('#rows th')[5].click();"
