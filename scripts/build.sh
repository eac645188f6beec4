#!/usr/bin/env bash
# Configures and builds Kandrilox into build/ (the program folder is build/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KANDRILOX_CMAKE_ARGS:-} >/dev/null
cmake --build "$root/build" -j"$(nproc)"
