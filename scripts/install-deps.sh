#!/usr/bin/env bash
# Installs what a job needs on Debian 12 (as root); does nothing when all is there.
#   install-deps.sh main   the native build, the runner and the road scenario (scripts/main.sh)
#   install-deps.sh test   also mingw-w64, Wine, the msitools and clang for fuzzing
#                          (scripts/test.sh; the default)
set -euo pipefail
native=(cmake ninja-build g++ make python3 libgtest-dev libbenchmark-dev nlohmann-json3-dev)
rest=(mingw-w64 wine64 wixl msitools clang libclang-rt-dev llvm)
case "${1:-test}" in
main) packages=("${native[@]}") ;;
test) packages=("${native[@]}" "${rest[@]}") ;;
*)
    echo "usage: $0 [main|test]" >&2
    exit 2
    ;;
esac
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
