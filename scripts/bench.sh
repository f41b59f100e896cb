#!/usr/bin/env bash
# Builds and runs the benchmarks on the simulated machine (never part of the test run), then
# prints each ratio against its plain-loop baseline. Arguments go to the benchmark program, for
# example --benchmark_filter=Trace.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target bench
exec build/linux/bench "$@"
