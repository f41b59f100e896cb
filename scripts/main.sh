#!/usr/bin/env bash
# The main job: build the native library and runner, then run a first installation on the
# simulated machine, as the kit sequences it (or the scenario folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh main
cmake --preset linux >/dev/null
cmake --build --preset linux
exec build/linux/hxca "${1:-build/linux/road/first-install}"
