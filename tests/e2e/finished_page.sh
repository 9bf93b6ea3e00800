#!/bin/bash
# The Finished page of a real window, seconds after it appears, equals the program's own
# off-screen rendering of the same state, the whole page: no part of an earlier page shows
# through a frame that draws only part of the window, and every character of its texts
# has a glyph (the arrows of the DAW hint, which Wine's Tahoma lacks).
source "$(dirname "$0")/lib.sh"
trap 'remove_installation; cleanup' EXIT
remove_installation

"$wine" "$helpers/render_pages.exe" "$(winpath "$scratch")" >/dev/null 2>&1
[[ -f $scratch/5-finished.png ]] || fail "no off-screen rendering of the Finished page"
("$wine" "$setup_exe" --perform >/dev/null 2>&1; echo $? >"$scratch/perform.rc") &
if window=$(find_setup_window 30); then
    wait_for_finished_page "$window" "$scratch/appeared.png" 90 || fail "no Finished page"
    xdotool mousemove 0 0 # no highlight on the Close button
    for seconds in 1 4; do
        sleep "$seconds"
        screenshot "$window" "$scratch/seen-$seconds.png"
        differing=$(compare -metric AE -fuzz 12% "$scratch/seen-$seconds.png" "$scratch/5-finished.png" null: 2>&1)
        echo "after ${seconds}+ s: $differing pixels differ"
        # Anti-aliasing may differ between the window's target and the off-screen one; a
        # line of text drawn again by a frame of part of the page, or a page that shows
        # through, differs by thousands.
        if [[ $differing =~ ^[0-9]+$ ]] && (( differing < 300 )); then pass; else
            fail "the Finished page after ${seconds}+ s differs from its rendering in [$differing] pixels"
        fi
    done
    click_at "$window" $primary_click
    wait
    expect_eq "exit code" "$(cat "$scratch/perform.rc")" 0
else
    fail "no window"
fi
finish
