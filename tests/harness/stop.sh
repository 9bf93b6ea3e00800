#!/bin/bash
# Stops the wineserver and Xvfb that start.sh started for BUILD_DIR.
build=${1:?usage: stop.sh BUILD_DIR}
if [[ -f $build/test-env.sh ]]; then
    source "$build/test-env.sh"
    "$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -k 2>/dev/null
fi
if [[ -f $build/xvfb.pid ]]; then
    kill "$(cat "$build/xvfb.pid")" 2>/dev/null
    rm -f "$build/xvfb.pid"
fi
rm -f "$build/test-env.sh"
exit 0
