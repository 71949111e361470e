#!/usr/bin/env bash
# Runs every benchmark program of a benchmark build tree.
set -euo pipefail
build="${1:-build-bench}"
found=0
for program in "$build"/bench/*; do
    if [ -f "$program" ] && [ -x "$program" ]; then
        found=1
        echo "== $(basename "$program")"
        "$program"
    fi
done
[ "$found" -eq 1 ] || echo "No benchmarks built."
