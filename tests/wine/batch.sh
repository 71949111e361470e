#!/usr/bin/env bash
# quorvel-batch.exe under Wine: a run over drawings written by ezdxf (and checked by it), its
# report, --undo back to the same bytes, a worker that crashes failing alone and --retry of it,
# a read-only drawing left alone, and --host com against the stand-in host registered under a
# ProgID of its own.
#   batch.sh <program folder> <ezdxf_tool.py> <work folder>
set -euo pipefail
source "$(dirname "$0")/prelude.sh" "$@"
rm -rf "$work" && mkdir -p "$work/run" "$work/originals"
"$run" "$bin/hostdriver.exe" close-host >/dev/null
trap '"$run" "$bin/hostdriver.exe" close-host >/dev/null 2>&1 || true
      "$run" "$bin/cadh.exe" /unregserver --progid Quorvel.TestHost >/dev/null 2>&1 || true
      "$run" reg delete "HKCU\\Software\\Quorvel" /f >/dev/null 2>&1 || true' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { echo "Z:${1//\//\\}"; }
# Into a file, not a pipe: a host that COM starts may keep the program's output open.
batch() {
    local status=0
    timeout 120 "$run" "$bin/quorvel-batch.exe" "$@" >"$work/out.txt" 2>&1 || status=$?
    tr -d "\r" <"$work/out.txt"
    return $status
}
run_id() { sed -n 's/^运行编号：//p' <<<"$1"; }

"$py" "$drawings" write r12 "$work/run/detail-R12.dwg"
"$py" "$drawings" write r2000 "$work/run/总平面图.dwg"
"$py" "$drawings" write r2018 "$work/run/一层平面图.dwg"
cp "$work/run/"*.dwg "$work/originals/"

echo "== a run over a folder, with a report"
out="$(batch --find 旧文本 --replace 新内容 --jobs 2 --report "$(winpath "$work/report.csv")" \
    "$(winpath "$work/run")")" || fail "the run failed: $out"
echo "$out"
grep -q "成功 3 个，失败 0 个" <<<"$out" || fail "not all three drawings done"
"$py" "$drawings" check-run "$work/run" 旧文本 新内容 || fail "ezdxf finds the drawings wrong"
[[ "$(grep -c '单行文字,.*旧文本' "$work/report.csv")" -ge 3 ]] || fail "report: $(cat "$work/report.csv")"

echo "== --undo puts every drawing back byte for byte"
id="$(run_id "$out")"
out="$(batch --undo "$id")" || fail "undo failed: $out"
echo "$out"
for file in "$work/originals/"*.dwg; do
    cmp -s "$file" "$work/run/$(basename "$file")" || fail "not put back: $(basename "$file")"
done
ls "$work/run/"*.bak >/dev/null 2>&1 && fail "the run's .bak files stay after --undo"

echo "== a worker that crashes fails alone"
out="$(QUORVEL_BATCH_WORKER_FAULT=abort:总平面图.dwg batch --find 旧文本 --replace 新内容 \
    "$(winpath "$work/run")")" && fail "a failed drawing gave exit status 0"
echo "$out"
grep -q "总平面图.dwg：失败，工作进程" <<<"$out" || fail "the crash is not reported"
cmp -s "$work/originals/总平面图.dwg" "$work/run/总平面图.dwg" || fail "the crashed drawing changed"
grep -q "成功 2 个，失败 1 个" <<<"$out" || fail "the other drawings were not done"
out="$(batch --retry "$(run_id "$out")")" || fail "--retry failed: $out"
echo "$out"
grep -q "图形 1 个，成功 1 个" <<<"$out" || fail "--retry did not take the failed drawing alone"
"$py" "$drawings" check-run "$work/run" 旧文本 新内容 >/dev/null || fail "ezdxf finds the retry wrong"

echo "== a read-only drawing is left as it was"
cp "$work/originals/总平面图.dwg" "$work/read-only.dwg" && chmod 444 "$work/read-only.dwg"
out="$(batch --find 旧文本 --replace 新内容 "$(winpath "$work/read-only.dwg")")" &&
    fail "a read-only drawing gave exit status 0"
grep -q "是只读文件，未保存" <<<"$out" || fail "a read-only drawing not reported: $out"
cmp -s "$work/originals/总平面图.dwg" "$work/read-only.dwg" || fail "the read-only drawing changed"
[[ "$(ls "$work")" == *read-only.bak* || "$(ls -A "$work" | grep -c '^\.~qv')" != 0 ]] &&
    fail "a read-only drawing left files behind: $(ls -A "$work")"

echo "== --host com --progid: the stand-in host under a ProgID of its own"
"$run" "$bin/cadh.exe" /regserver --progid Quorvel.TestHost
mkdir -p "$work/com"
cp "$work/originals/总平面图.dwg" "$work/originals/一层平面图.dwg" "$work/com/"
out="$(batch --host com --progid Quorvel.TestHost --find 旧文本 --replace 新内容 \
    "$(winpath "$work/com")")" || fail "--host com failed: $out"
echo "$out"
grep -q "成功 2 个，失败 0 个" <<<"$out" || fail "--host com did not save both"

echo "== --host com without --progid: the user's ProgID setting, as Quorvel.exe reads it"
cp "$work/originals/一层平面图.dwg" "$work/com/setting.dwg"
"$run" reg add 'HKCU\Software\Quorvel' /v ProgID /d Quorvel.TestHost /f >/dev/null
out="$(batch --host com --find 旧文本 --replace 新内容 "$(winpath "$work/com/setting.dwg")")" ||
    fail "--host com with the ProgID setting failed: $out"
"$run" reg delete 'HKCU\Software\Quorvel' /f >/dev/null
echo "$out"
grep -q "成功 1 个" <<<"$out" || fail "--host com did not save with the ProgID setting"
"$py" "$drawings" check-run "$work/com" 旧文本 新内容 || fail "ezdxf finds the host's saves wrong"
out="$(batch --host com --progid Nobody.Here --find 新内容 --replace 旧文本 \
    "$(winpath "$work/com")")" && fail "an unregistered ProgID gave exit status 0"
echo "$out"
grep -q "失败 3 个" <<<"$out" || fail "an unregistered ProgID is not reported"
"$py" "$drawings" check-run "$work/com" 旧文本 新内容 >/dev/null || fail "the failed run changed drawings"

[[ $failures -eq 0 ]] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
