#!/bin/bash
# Runs a test program with a folder of real Unix symbolic links: a folder link, which
# Wine reports as a reparse point, and file links (below).
# ELVARA_LINK_FIXTURE names the folder as a Windows path. Within the test run's prefix
# (ELVARA_BUILD), folders that hold a file but cannot be listed, for programs run
# without root's power to read anything (setpriv): ELVARA_UNLISTABLE_FIXTURE.
set -euo pipefail
fixture=$(mktemp -d /tmp/elvara-links.XXXXXX)
unlistable=""
cleanup() {
    rm -rf "$fixture"
    if [[ -n $unlistable ]]; then chmod -R u+rwx "$unlistable" 2>/dev/null; rm -rf "$unlistable"; fi
}
trap cleanup EXIT
mkdir -p "$fixture/real/sub"
echo data >"$fixture/real/file"
ln -s "$fixture/real" "$fixture/link"
# A file link whose own name differs from its target's only by a trailing dot: Wine's
# final path of either drops the dot, so only the identity of the two tells them apart.
ln -s "$fixture/real/file" "$fixture/real/file."
# An own product installation (its marker in place) whose README.txt is a file link to a
# decoy outside it. Wine reports a file link as a plain file, and renaming one through
# Wine moves its target, so such a link can only be made here, on the Unix side.
mkdir -p "$fixture/decoys" "$fixture/installed/ElvaraSound"
echo "a user's file outside the product" >"$fixture/decoys/decoy.txt"
printf 'ElvaraSound-Livewire-CF9A52D3-v1\n' >"$fixture/installed/ElvaraSound/install-marker.txt"
ln -s "$fixture/decoys/decoy.txt" "$fixture/installed/ElvaraSound/README.txt"
# The same, once for each program that a test runs against it.
for run in update recovery uninstall; do
    mkdir -p "$fixture/linked/$run/ElvaraSound"
    cp "$fixture/installed/ElvaraSound/install-marker.txt" "$fixture/linked/$run/ElvaraSound/"
    ln -s "$fixture/decoys/decoy.txt" "$fixture/linked/$run/ElvaraSound/README.txt"
done
if [[ -n ${ELVARA_BUILD:-} && -d $ELVARA_BUILD/wine-prefix/drive_c ]]; then
    unlistable=$(mktemp -d "$ELVARA_BUILD/wine-prefix/drive_c/elvara-unlistable.XXXXXX")
    for run in update recovery uninstall; do
        mkdir -p "$unlistable/$run"
        echo "the user's bytes in a folder that cannot be listed" >"$unlistable/$run/inside.txt"
        chmod 0200 "$unlistable/$run"
    done
    export ELVARA_UNLISTABLE_FIXTURE="C:\\$(basename "$unlistable")"
fi
export ELVARA_LINK_FIXTURE="Z:${fixture//\//\\}"
export WINEDEBUG=-all
set +e
"$@"
status=$?
set -e
# The tests give the folders back: what was in them must still be there.
if [[ -n $unlistable ]]; then
    for run in update recovery uninstall; do
        if [[ $(cat "$unlistable/$run/inside.txt" 2>/dev/null) != "the user's bytes in a folder that cannot be listed" ]]; then
            echo "the file in the folder that cannot be listed ($run) was lost or not given back" >&2
            status=1
        fi
    done
fi
exit $status
