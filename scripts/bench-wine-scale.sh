#!/usr/bin/env bash
# Times the removal of a queue manager's data (10,000 files in 500 folders by default) in Wine's
# installer engine: rows stacked by iwiStackDeleteQMgrs against the same rows as the package's own
# RemoveFile table. Never part of the test run. Arguments go to tests/wine/bench_scale.py, for
# example --files 2000 --folders 100, --work DIR or --keep.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/windows/zebiwicn.dll ] || [ ! -f build/windows/zebdrive.exe ]; then
    cmake --preset windows >/dev/null
fi
cmake --build --preset windows -j2 --target zebiwicn zebdrive >/dev/null
exec python3 tests/wine/bench_scale.py --windows-build build/windows "$@"
