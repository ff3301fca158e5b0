#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each, growing the work corpus.
set -eu
build=$1
seconds=${2:-60}
for target in "$build"/tests/fuzz/fuzz_*; do
    name=$(basename "$target"); name=${name#fuzz_}
    work="$build/fuzz-corpus/$name"
    mkdir -p "$work"
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "tests/fuzz/corpus/$name" 2>&1 |
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done|#[0-9]+[[:space:]]+DONE|==.*ERROR)' || true
done
