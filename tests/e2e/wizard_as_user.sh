#!/bin/bash
# A person installs the plug-in with the real executable: first with the mouse
# alone, then again (over the first installation) with the keyboard alone.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

start_setup() {
    ("$wine" "$setup_exe" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
    background_pids+=($!)
    window=$(find_setup_window 30) || { fail "no setup window"; finish; }
}

# ---- with the mouse
start_setup
expect_eq "client area" "$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')" "${design_width}x${design_height}"
screenshot "$window" "$scratch/1-welcome.png"
expect_colour "Welcome: Continue" "$scratch/1-welcome.png" $primary_probe $primary_rgb 14
expect_eq "Welcome: no licence control yet" "$(licence_state)" "absent"

click_at "$window" $primary_click
screenshot "$window" "$scratch/2-licence.png"
expect_eq "Licence: the licence text is shown" "$(licence_state)" "visible 1 length 2981"
expect_colour "Licence: Continue disabled" "$scratch/2-licence.png" $primary_probe $dark_button_rgb 10
expect_colour "Licence: no tick" "$scratch/2-licence.png" $checkbox_probe 25 24 30 12
click_at "$window" $primary_click # disabled: nothing happens
screenshot "$window" "$scratch/3-still-licence.png"
expect_eq "Licence: still there" "$(licence_state)" "visible 1 length 2981"

click_at "$window" $checkbox_probe
screenshot "$window" "$scratch/4-ticked.png"
expect_colour "Licence: tick" "$scratch/4-ticked.png" $checkbox_probe $tick_rgb 8
expect_colour "Licence: Continue enabled" "$scratch/4-ticked.png" $primary_probe $primary_rgb 14

click_at "$window" $primary_click
screenshot "$window" "$scratch/5-ready.png"
expect_eq "Ready: licence hidden" "$(licence_state)" "visible 0 length 2981"
expect_colour "Ready: Back" "$scratch/5-ready.png" $back_probe $dark_button_rgb 10
expect_colour "Ready: Install" "$scratch/5-ready.png" $primary_probe $primary_rgb 14
[[ $(bright_pixels "$scratch/5-ready.png" $bundle_folder_text_x $bundle_folder_text_y 700 22 120) -gt 50 ]] && pass || fail "Ready: bundle folder shown"

click_at "$window" $primary_click
if wait_for_finished_page "$window" "$scratch/6-finished.png" 90; then
    pass
    [[ $(bright_pixels "$scratch/6-finished.png" $daw_hint_x $daw_hint_y $daw_hint_width 30 180) -gt 50 ]] && pass || fail "Finished: DAW hint"
else
    fail "the Finished page did not appear"
fi
expect_installed "mouse installation"
click_at "$window" $primary_click
wait_window_gone "$window" 20 && pass || fail "Close did not end the wizard"
wait
expect_eq "mouse: exit code" "$(cat "$scratch/setup.rc")" 0

# ---- with the keyboard, over the installation just made
start_setup
press "$window" Return
expect_eq "keyboard: Licence" "$(licence_state)" "visible 1 length 2981"
press "$window" Return # unticked: nothing
expect_eq "keyboard: still Licence" "$(licence_state)" "visible 1 length 2981"
press "$window" space Return
expect_eq "keyboard: Ready" "$(licence_state)" "visible 0 length 2981"
press "$window" Return
if wait_for_finished_page "$window" "$scratch/7-finished.png" 90; then pass; else fail "keyboard: no Finished page"; fi
expect_installed "keyboard reinstallation"
press "$window" Return
wait_window_gone "$window" 20 && pass || fail "Enter did not close the Finished page"
wait
expect_eq "keyboard: exit code" "$(cat "$scratch/setup.rc")" 0
finish
