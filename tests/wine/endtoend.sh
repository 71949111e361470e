#!/usr/bin/env bash
# The engine's batch run and preview under Wine against the stand-in COM host, in two processes,
# over drawings written by ezdxf and read back by ezdxf.
#   endtoend.sh <program folder> <ezdxf_tool.py> <work folder>
set -euo pipefail
source "$(dirname "$0")/prelude.sh" "$@"
rm -rf "$work" && mkdir -p "$work"
# One Wine server for the whole test, so that every program start is quick.
"$run" "$bin/hostdriver.exe" close-host >/dev/null
trap '"$run" "$bin/hostdriver.exe" close-host >/dev/null 2>&1 || true' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { echo "Z:${1//\//\\}"; }
texts() { "$py" "$drawings" entities "$1" | "$py" -c '
import sys
rows = (line.rstrip("\n").split("\t") for line in sys.stdin)
print("\n".join(sorted(row[8] for row in rows if row[2] == "TEXT")))'; }
driver() { "$run" "$bin/hostdriver.exe" "$@" 2>/dev/null | tr -d "\r"; }
expect_line() {  # output, line, what
    grep -qxF -- "$2" <<<"$1" || fail "$3: no line \"$2\" in: $1"
}

for kind in r12 r2000 r2018; do
    "$py" "$drawings" write "$kind" "$work/$kind.dxf"
done
cp "$work/r2000.dxf" "$work/preview.dxf"
cp "$work/r2000.dxf" "$work/old.dxf"
cp "$work/r12.dxf" "$work/old12.dxf"
original="$(texts "$work/r2000.dxf")"

echo "== newer generation: no host running, so one is created; batch over three drawings"
"$run" "$bin/cadh.exe" /regserver
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/r12.dxf")" "$(winpath "$work/r2000.dxf")" \
    "$(winpath "$work/r2018.dxf")")"
echo "$out"
expect_line "$out" "PROGRESS: 文本替换完成 双击窗口返回" "batch finished"
expect_line "$out" "LEFT: 0" "every drawing taken off the list"
grep -q "^MESSAGE:" <<<"$out" && fail "batch showed a message"
for kind in r12 r2000 r2018; do
    after="$(texts "$work/$kind.dxf")"
    grep -q 旧文本 <<<"$after" && fail "$kind still holds the search text: $after"
    grep -qF "图号 新内容-01" <<<"$after" || fail "$kind lacks the replaced text: $after"
done
[[ -f "$work/r2000.bak" && "$(texts "$work/r2000.bak")" == "$original" ]] \
    || fail "the old content is not kept as r2000.bak"
[[ "$(head -c 9 "$bin/batch.scr" | iconv -f GBK -t UTF-8)" == "旧文本" ]] \
    || fail "batch.scr is not the search text in code page 936"

echo "== the host created by the first run is attached to by the preview"
out="$(driver preview new 旧文本 新内容 "$(winpath "$work/preview.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 1" "the preview keeps the list"
[[ "$(texts "$work/preview.dxf")" == "$original" ]] || fail "the preview saved the drawing"
"$run" "$bin/hostdriver.exe" close-host

echo "== a host started by hand is attached to"
"$run" "$bin/hostdriver.exe" start-host
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/preview.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 0" "batch on an attached host"
grep -qF "图号 新内容-01" <<<"$(texts "$work/preview.dxf")" || fail "attached host did not save"
"$run" "$bin/hostdriver.exe" close-host

echo "== older generation: keystrokes through the host window"
"$run" "$bin/cadh.exe" /regserver --release R14
out="$(driver batch old 旧文本 新内容 "$(winpath "$work/old.dxf")" "$(winpath "$work/old12.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 0" "older batch"
grep -q "^MESSAGE:" <<<"$out" && fail "older batch showed a message"
for name in old old12; do
    after="$(texts "$work/$name.dxf")"
    grep -q 旧文本 <<<"$after" && fail "$name still holds the search text: $after"
    grep -qF "图号 新内容-01" <<<"$after" || fail "$name lacks the replaced text: $after"
done

echo "== older generation: a typed save that writes nothing is not reported done"
"$py" "$drawings" write r2000 "$work/locked.dxf"
chmod a-w "$work/locked.dxf"
out="$(driver batch old 旧文本 新内容 "$(winpath "$work/locked.dxf")")"
echo "$out"
expect_line "$out" "MESSAGE: 操作不当！" "an unsaved drawing is a failure"
expect_line "$out" "LEFT: 1" "the unsaved drawing stays on the list"
grep -q 旧文本 <<<"$(texts "$work/locked.dxf")" || fail "the read-only drawing was changed"

echo "== the older host lacks Documents: error 438"
"$py" "$drawings" write r2000 "$work/wrong.dxf"
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/wrong.dxf")")"
echo "$out"
expect_line "$out" "MESSAGE: CAD版本不对！" "438 from the older host"
"$run" "$bin/hostdriver.exe" close-host

echo "== a host busy while it starts and after each command, whose entities lack Erase"
"$run" "$bin/cadh.exe" /regserver --busy-at-start 3000 --busy-after-command 1500 --without-erase
"$py" "$drawings" write r2000 "$work/busy.dxf"
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/busy.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 0" "the busy host is ridden out"
grep -q "^MESSAGE:" <<<"$out" && fail "the busy host gave a message"
grep -qF "图号 新内容-01" <<<"$(texts "$work/busy.dxf")" || fail "busy host: text not replaced"
"$run" "$bin/hostdriver.exe" close-host

echo "== a host that stays busy for longer than calls wait"
"$run" "$bin/cadh.exe" /regserver --busy-after-command 3000
"$py" "$drawings" write r2000 "$work/stuck.dxf"
out="$(driver --busy-limit 2000 batch new 旧文本 新内容 "$(winpath "$work/stuck.dxf")")"
echo "$out"
expect_line "$out" "MESSAGE: CAD 主机忙，没有响应！" "a host that stays busy"
expect_line "$out" "LEFT: 1" "the drawing stays on the list"
expect_line "$(driver filedia)" "FILEDIA: 1" "FILEDIA is put back"
grep -q 旧文本 <<<"$(texts "$work/stuck.dxf")" || fail "the drawing was changed"
"$run" "$bin/hostdriver.exe" close-host

echo "== a host that refuses to open a drawing twice: preview, then batch"
"$run" "$bin/cadh.exe" /regserver --refuse-open-twice
"$py" "$drawings" write r2000 "$work/twice.dxf"
out="$(driver preview+batch new 旧文本 新内容 "$(winpath "$work/twice.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 0" "the batch run after the preview"
grep -q "^MESSAGE:" <<<"$out" && fail "preview then batch gave a message"
grep -qF "图号 新内容-01" <<<"$(texts "$work/twice.dxf")" || fail "twice: text not replaced"
echo "-- the user's own unsaved changes stop the run"
"$py" "$drawings" write r2000 "$work/users.dxf"
driver user-edit "$(winpath "$work/users.dxf")"
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/users.dxf")")"
echo "$out"
grep -q "^MESSAGE: 图形“.*users.dxf”已在 CAD 主机中打开，并有未保存的修改" <<<"$out" \
    || fail "no message naming the drawing with unsaved changes"
expect_line "$out" "LEFT: 1" "the drawing stays on the list"
expect_line "$(driver filedia)" "FILEDIA: 1" "FILEDIA is put back"
grep -q 旧文本 <<<"$(texts "$work/users.dxf")" || fail "the user's drawing was changed on disk"
"$run" "$bin/hostdriver.exe" close-host

echo "== a compatible host under its own ProgID (QUORVEL_PROGID)"
"$run" "$bin/cadh.exe" /regserver --progid Quorvel.StandInHost
"$py" "$drawings" write r2000 "$work/progid.dxf"
out="$(QUORVEL_PROGID=Quorvel.StandInHost driver batch new 旧文本 新内容 \
    "$(winpath "$work/progid.dxf")")"
echo "$out"
expect_line "$out" "LEFT: 0" "the host under its own ProgID"
grep -qF "图号 新内容-01" <<<"$(texts "$work/progid.dxf")" || fail "progid: text not replaced"
"$run" "$bin/hostdriver.exe" close-host
"$run" "$bin/cadh.exe" /unregserver --progid Quorvel.StandInHost

echo "== no host registered"
"$run" "$bin/cadh.exe" /unregserver
out="$(driver batch new 旧文本 新内容 "$(winpath "$work/wrong.dxf")")"
echo "$out"
expect_line "$out" "MESSAGE: ActiveX 部件不能创建对象" "the platform's description"
expect_line "$out" "MESSAGE: 操作不当！" "then the run's own message"
[[ "$(grep -c '^MESSAGE:' <<<"$out")" == 2 ]] || fail "two messages expected"

if ((failures > 0)); then
    echo "$failures failure(s)"
    exit 1
fi
echo "all end-to-end checks passed"
