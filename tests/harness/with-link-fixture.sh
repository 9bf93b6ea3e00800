#!/bin/bash
# Runs a test program with a folder of real Unix symbolic links: a folder link, which
# Wine reports as a reparse point, and a file link to a decoy (below).
# ELVARA_LINK_FIXTURE names the folder as a Windows path.
set -euo pipefail
fixture=$(mktemp -d /tmp/elvara-links.XXXXXX)
trap 'rm -rf "$fixture"' EXIT
mkdir -p "$fixture/real/sub"
echo data >"$fixture/real/file"
ln -s "$fixture/real" "$fixture/link"
# An own product installation (its marker in place) whose README.txt is a file link to a
# decoy outside it. Wine reports a file link as a plain file, and renaming one through
# Wine moves its target, so such a link can only be made here, on the Unix side.
mkdir -p "$fixture/decoys" "$fixture/installed/ElvaraSound"
echo "a user's file outside the product" >"$fixture/decoys/decoy.txt"
printf 'ElvaraSound-Livewire-CF9A52D3-v1\n' >"$fixture/installed/ElvaraSound/install-marker.txt"
ln -s "$fixture/decoys/decoy.txt" "$fixture/installed/ElvaraSound/README.txt"
export ELVARA_LINK_FIXTURE="Z:${fixture//\//\\}"
export WINEDEBUG=-all
"$@"
