#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (as root); does nothing when all is there.
set -euo pipefail
packages=(cmake ninja-build g++ make libgtest-dev nlohmann-json3-dev python3
          mingw-w64 wine64 wixl msitools
          clang libclang-rt-dev llvm libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi
