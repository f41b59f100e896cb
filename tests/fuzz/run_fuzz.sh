#!/usr/bin/env bash
# Runs one fuzz target from its seeds: run_fuzz.sh PROGRAM SEEDS WORK
# for ZEB_FUZZ_SECONDS seconds (default 30). New inputs are kept in WORK/corpus for the next run;
# a crashing input is written to WORK/ and named by libFuzzer. WORK/summary.txt gets one line:
# executions, executions per second, coverage (edges of the library) and corpus size.
set -euo pipefail
program=$1
seeds=$2
work=$3
seconds=${ZEB_FUZZ_SECONDS:-30}
name=$(basename "$program")
mkdir -p "$work/corpus"
rm -f "$work/summary.txt"
set +e
"$program" -max_total_time="$seconds" -timeout=10 -max_len=8192 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds" 2>&1 | tee "$work/last.log"
status=${PIPESTATUS[0]}
set -e
done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/last.log" | tail -1 || true)
rate=$(grep -E '^stat::average_exec_per_sec:' "$work/last.log" | awk '{print $2}' || true)
if [ -n "$done_line" ]; then
    runs=$(sed -E 's/^#([0-9]+).*/\1/' <<<"$done_line")
    cov=$(sed -E 's/.* cov: ([0-9]+) .*/\1/' <<<"$done_line")
    corp=$(sed -E 's/.* corp: ([^ ]+) .*/\1/' <<<"$done_line")
    echo "$name: ${seconds}s, $runs runs, $rate exec/s, cov $cov edges, corpus $corp" | tee "$work/summary.txt"
fi
exit "$status"
