#!/bin/bash
# Builds everything and runs every test under Wine and Xvfb (CTest starts and stops
# the display and the wineserver itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-dependencies.sh"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release "$@"
