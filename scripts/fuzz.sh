#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS (default 60) on its seed corpus.
set -euo pipefail
build="${1:-build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
for target in "$build"/fuzz/*_fuzzer; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$build/fuzz/corpus-$name"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/${name%_fuzzer}"
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")}
done
