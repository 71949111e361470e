#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS (default 60) on its seed corpus, with its dictionary
# (fuzz/<name>.dict) when there is one. New inputs go to build-fuzz/fuzz/corpus-<target>.
set -euo pipefail
build="${1:-build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
for target in "$build"/fuzz/*_fuzzer; do
    [ -f "$target" ] && [ -x "$target" ] || continue  # not the corpus folders
    name=$(basename "$target")
    corpus="$build/fuzz/corpus-$name"
    mkdir -p "$corpus"
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/fuzz/$name-")
    dict="fuzz/${name%_fuzzer}.dict"
    [ -f "$dict" ] && options+=(-dict="$dict")
    seeds="fuzz/seeds/${name%_fuzzer}"
    inputs=("$corpus")
    [ -d "$seeds" ] && inputs+=("$seeds")
    echo "== $name for ${seconds}s"
    "$target" "${options[@]}" "${inputs[@]}"
done
