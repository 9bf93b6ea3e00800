#!/bin/bash
# Starts what every test needs for the whole run: the private Wine prefix, one Xvfb
# display and one persistent wineserver under it (so each test starts in a tenth of
# a second, and Direct2D has a real desktop). Writes BUILD/test-env.sh for the tests.
set -euo pipefail
build=$(cd "${1:?usage: start.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
prefix=$build/wine-prefix
"$here/stop.sh" "$build" || true
"$here/../../tools/prepare-wine-prefix.sh" "$prefix"

display=""
for n in $(seq 90 140); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=$n; break; fi
done
[[ -n $display ]] || { echo "no free X display" >&2; exit 1; }
# Room for the wizard at 200 % (1560 x 1120 and its frame).
Xvfb ":$display" -screen 0 2048x1536x24 -nolisten tcp </dev/null >"$build/xvfb.log" 2>&1 &
echo $! >"$build/xvfb.pid"
for _ in $(seq 1 100); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.05; done

cat >"$build/test-env.sh" <<ENV
export WINEPREFIX='$prefix'
export DISPLAY=':$display'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='winedbg.exe=d;mscoree=d;mshtml=d'
export ELVARA_BUILD='$build'
# Wine takes its UI language from these: a machine's own locale never changes a result.
# The tests about languages set LC_ALL for the programs they start.
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE
ENV
source "$build/test-env.sh"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
"$wineserver" -p </dev/null >/dev/null 2>&1
# Bring the desktop up once under this display, so that later starts are quick.
"$here/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
echo "wine test environment ready on display :$display"
