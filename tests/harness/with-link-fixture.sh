#!/bin/bash
# Runs a test program with a folder of real Unix symbolic links, which Wine reports
# as reparse points: ELVARA_LINK_FIXTURE names it as a Windows path.
set -euo pipefail
fixture=$(mktemp -d /tmp/elvara-links.XXXXXX)
trap 'rm -rf "$fixture"' EXIT
mkdir -p "$fixture/real/sub"
echo data >"$fixture/real/file"
ln -s "$fixture/real" "$fixture/link"
export ELVARA_LINK_FIXTURE="Z:${fixture//\//\\}"
export WINEDEBUG=-all
"$@"
