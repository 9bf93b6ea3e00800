#!/bin/bash
# Installs what the build needs, configures the release preset and builds everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-dependencies.sh"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release
