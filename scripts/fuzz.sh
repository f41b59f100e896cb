#!/usr/bin/env bash
# Runs every fuzz target for longer than the test run does: scripts/fuzz.sh [seconds per target]
# (default 600). Each starts from its seeds and from what earlier runs found (build/fuzz); a crash
# input is left in build/fuzz/tests/fuzz/work/<target>/ and, once fixed, belongs in the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
status=0
ZEB_FUZZ_SECONDS=$seconds ctest --preset fuzz --timeout $((seconds + 300)) || status=$?
cat build/fuzz/tests/fuzz/work/*/summary.txt 2>/dev/null || true
exit $status
