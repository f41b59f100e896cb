#!/usr/bin/env bash
# The main job: build the native library and runner, then run a simulated installation.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh main
cmake --preset linux >/dev/null
cmake --build --preset linux
exec build/linux/hxca "${1:-examples/first-install}"
