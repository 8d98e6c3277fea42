#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for SECONDS each (default 60).
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
status=0
for f in "$build"/bin/*_fuzz; do
    [ -x "$f" ] || continue
    corpus="$build/corpus/$(basename "$f")"
    mkdir -p "$corpus"
    echo "== $(basename "$f") for ${seconds}s"
    if ! "$f" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>"$build/$(basename "$f").log"; then
        echo "   FINDING: see $build/$(basename "$f").log"
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done' "$build/$(basename "$f").log" | tail -2 | sed 's/^/   /'
    fi
done
exit $status
