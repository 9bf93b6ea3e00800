#!/bin/bash
# Builds the installer and runs its main job: the verification of its own embedded
# package, under Wine. Prints the verification line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/configure-and-build.sh"
build=$root/build/release
"$root/tools/prepare-wine-prefix.sh" "$build/wine-prefix"
echo "Built $build/ElvaraSoundLivewireSetup.exe"
WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES='winedbg.exe=d' \
    "$(command -v wine64 || echo /usr/lib/wine/wine64)" "$build/ElvaraSoundLivewireSetup.exe" --verify-only
