#!/usr/bin/env bash
# Every test: the native build (unit, simulated-machine, runner, scenario, export and real-engine
# tests), the sanitizer build, the fuzz targets (30 s each), and the Windows DLL that the
# real-engine tests install under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
jobs=$(nproc)
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j "$jobs"
ctest --preset linux-asan -j "$jobs" -LE wine
cat build/linux-asan/sweep-summary.txt
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"
cat build/fuzz/tests/fuzz/work/*/summary.txt
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs"
cat build/linux/sweep-summary.txt
