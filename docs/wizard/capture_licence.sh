#!/bin/bash
# The Licence page as it appears on screen: a screenshot of the real window under the
# test harness's Xvfb display and Wine, licence accepted. Its licence text is a standard
# Windows control, which no off-screen picture holds. Writes docs/wizard/2-licence.png.
#   docs/wizard/capture_licence.sh      (after a build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/release
"$root/tests/harness/start.sh" "$build" >/dev/null
trap '"$root/tests/harness/stop.sh" "$build"' EXIT
source "$build/test-env.sh"
source "$build/generated/layout.sh"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
"$wine" "$build/ElvaraSoundLivewireSetup.exe" >/dev/null 2>&1 &
pid=$!
window=""
for _ in $(seq 1 300); do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1) && [[ -n $window ]] && break
    sleep 0.1
done
[[ -n $window ]] || { echo "no setup window" >&2; exit 1; }
sleep 2
xdotool mousemove --window "$window" $primary_click click 1
sleep 1
xdotool mousemove --window "$window" $checkbox_probe click 1
sleep 1
import -window "$window" "$root/docs/wizard/2-licence.png"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
echo "docs/wizard/2-licence.png: $(identify -format '%w x %h' "$root/docs/wizard/2-licence.png")"
