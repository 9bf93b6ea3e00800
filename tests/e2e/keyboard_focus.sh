#!/bin/bash
# A person installs the plug-in with Tab and Space alone: the focus ring shows where
# the keyboard is, Space acts on the focused item, and the mouse hides the ring again.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

("$wine" "$setup_exe" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
background_pids+=($!)
window=$(find_setup_window 30) || { fail "no setup window"; finish; }
background_rgb="24 23 30" # the page background beside the footer buttons
shot() { screenshot "$window" "$scratch/$1.png"; }
expect_ring() { # description shot probe-x probe-y
    expect_colour "$1: focus ring" "$scratch/$2.png" "$3" "$4" $focus_ring_rgb 40
}
expect_no_ring() { # description shot probe-x probe-y
    [[ $(bright_pixels "$scratch/$2.png" "$3" "$(( $4 - 2 ))" 1 5 150) -eq 0 ]] && pass || fail "$1: no focus ring"
}

# A screen reader's view when another window takes the keyboard: the item that Tab had
# reached no longer claims the focus. Then the wizard is given the keyboard back.
expect_focus_leaves() { # description
    "$wine" "$helpers/screen_reader.exe" focus-away 2>&1 | tr -d '\r' >"$scratch/away.log"
    grep -q '^0 failed$' "$scratch/away.log" && pass || { fail "$1: the focus given away"; grep -v '^ok' "$scratch/away.log" >&2; }
}

shot 0-start
expect_no_ring "Welcome before Tab" 0-start $primary_ring_probe
press "$window" Tab
shot 1-welcome
expect_ring "Welcome: Tab reaches Continue" 1-welcome $primary_ring_probe
press "$window" space
expect_eq "Space on Continue: Licence" "$(licence_state)" "visible 1 length 2981"

press "$window" Tab
shot 2-licence-text
expect_ring "Licence: Tab reaches the licence text" 2-licence-text $licence_text_ring_probe
expect_focus_leaves "Licence: the licence text"
press "$window" Tab
shot 3-checkbox
expect_ring "Licence: then the checkbox" 3-checkbox $checkbox_ring_probe
expect_no_ring "Licence: the licence text lost its ring" 3-checkbox $licence_text_ring_probe
expect_focus_leaves "Licence: the checkbox"
press "$window" space
shot 4-ticked
expect_colour "Licence: Space ticks the box" "$scratch/4-ticked.png" $checkbox_probe $tick_rgb 8
press "$window" Tab
shot 5-back
expect_ring "Licence: then Back" 5-back $back_ring_probe
press "$window" Tab
shot 6-continue
expect_ring "Licence: then Continue" 6-continue $primary_ring_probe
press "$window" shift+Tab
shot 7-back-again
expect_ring "Licence: Shift+Tab returns to Back" 7-back-again $back_ring_probe
press "$window" Tab space
expect_eq "Space on Continue: Ready" "$(licence_state)" "visible 0 length 2981"

press "$window" Tab
shot 8-ready-checkbox
expect_ring "Ready: Tab reaches the only-for-me checkbox" 8-ready-checkbox $checkbox_ring_probe
press "$window" Tab
shot 8-ready-back
expect_ring "Ready: then Back" 8-ready-back $back_ring_probe
press "$window" space
expect_eq "Space on a focused Back goes back" "$(licence_state)" "visible 1 length 2981"
press "$window" Tab Tab Tab Tab space
expect_eq "Tab to Continue again: Ready" "$(licence_state)" "visible 0 length 2981"
press "$window" Tab Tab Tab
shot 9-install
expect_ring "Ready: Install" 9-install $primary_ring_probe
press "$window" space
if wait_for_finished_page "$window" "$scratch/10-finished.png" 90; then pass; else fail "no Finished page"; fi
expect_installed "keyboard installation"

press "$window" Tab
shot 11-close
expect_ring "Finished: Tab reaches Close" 11-close $primary_ring_probe
click_at "$window" 5 5 # the mouse, on nothing
shot 12-after-mouse
expect_no_ring "Finished: the mouse hides the ring" 12-after-mouse $primary_ring_probe
press "$window" Tab space
wait_window_gone "$window" 20 && pass || fail "Space on Close did not end the wizard"
wait
expect_eq "exit code" "$(cat "$scratch/setup.rc")" 0
finish
