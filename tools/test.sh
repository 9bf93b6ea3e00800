#!/bin/bash
# Builds everything and runs every test under Wine and Xvfb (CTest starts and stops
# the display and the wineserver itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/configure-and-build.sh"
cd "$root"
ctest --preset release "$@"
