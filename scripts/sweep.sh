#!/usr/bin/env bash
# The whole fault sweep: every fault of every action, where the test run tries a fixed sample
# once the actions outgrow its budget. scripts/sweep.sh [--preset linux|linux-asan] [option...]
# (default linux-asan); the options go to zeb_sweep, for example --action iwiERROR.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=linux-asan
if [ "${1:-}" = "--preset" ]; then
    preset=${2:?--preset needs linux or linux-asan}
    shift 2
fi
bash scripts/install-deps.sh main
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
exec "build/$preset/zeb_sweep" --library "build/$preset/libzebiwicn.so" --def install/pc/winnt/msi/zebiwicn.def \
    --examples examples --built-examples "build/$preset/examples" --all "$@"
