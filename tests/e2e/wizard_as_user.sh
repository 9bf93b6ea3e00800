#!/bin/bash
# A person installs the plug-in with the real executable: first with the mouse
# alone, then again (over the first installation) with the keyboard alone; then a
# standard user ticks "only for me" and installs without elevation, once with the
# mouse and once with the keyboard.
source "$(dirname "$0")/lib.sh"
remove_installation
remove_user_installation
trap 'remove_installation; remove_user_installation; cleanup' EXIT

start_setup() { # [launcher]: started through it when given
    local command=("$setup_exe")
    [[ $# -gt 0 ]] && command=("$1" "$(winpath "$setup_exe")")
    ("$wine" "${command[@]}" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
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
remove_installation

# ---- only for me, with the mouse, as a standard user: installed by this process, no elevated copy
expect_user_installation() { # description
    in_user_scope expect_installed "$1"
    [[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "$1: something under Program Files"
    expect_eq "$1: no machine entry" "$(registry_value DisplayName)" ""
}
start_setup "$helpers/restricted_launcher.exe"
click_at "$window" $primary_click
click_at "$window" $checkbox_probe
click_at "$window" $primary_click
screenshot "$window" "$scratch/8-ready-for-all.png"
expect_colour "Ready: only for me, not ticked" "$scratch/8-ready-for-all.png" $checkbox_probe 25 24 30 12
click_at "$window" $checkbox_probe
screenshot "$window" "$scratch/9-ready-for-me.png"
expect_colour "Ready: only for me, ticked" "$scratch/9-ready-for-me.png" $checkbox_probe $tick_rgb 8
for shot in 8-ready-for-all 9-ready-for-me; do
    convert "$scratch/$shot.png" -crop "700x60+$bundle_folder_text_x+$bundle_folder_text_y" +repage "$scratch/$shot-folder.png"
done
differing=$(compare -metric AE -fuzz 12% "$scratch/8-ready-for-all-folder.png" "$scratch/9-ready-for-me-folder.png" null: 2>&1)
[[ $differing =~ ^[0-9]+$ ]] && (( differing > 200 )) && pass || fail "Ready: the folders did not change ($differing)"
click_at "$window" $primary_click
if wait_for_finished_page "$window" "$scratch/10-finished.png" 90; then
    pass
    [[ $(bright_pixels "$scratch/10-finished.png" $daw_hint_x $daw_hint_y $daw_hint_width 30 180) -gt 50 ]] && pass || fail "for me: DAW hint"
else
    fail "for me: the Finished page did not appear in the same window"
fi
expect_eq "for me: one setup window" "$(xdotool search --name '^ElvaraSound .. Setup$' 2>/dev/null | wc -l)" 1
expect_user_installation "for me, mouse"
click_at "$window" $primary_click
wait_window_gone "$window" 20 && pass || fail "for me: Close did not end the wizard"
wait
expect_eq "for me, mouse: exit code" "$(cat "$scratch/setup.rc")" 0

# ---- only for me, with the keyboard: Tab reaches the checkbox first on Ready, Space ticks it
start_setup "$helpers/restricted_launcher.exe"
press "$window" Return space Return Tab
screenshot "$window" "$scratch/11-focus.png"
expect_colour "keyboard: the focus ring on the checkbox" "$scratch/11-focus.png" $checkbox_ring_probe $focus_ring_rgb 40
press "$window" space
screenshot "$window" "$scratch/12-ticked.png"
expect_colour "keyboard: only for me, ticked" "$scratch/12-ticked.png" $checkbox_probe $tick_rgb 8
press "$window" Return
if wait_for_finished_page "$window" "$scratch/13-finished.png" 90; then pass; else fail "for me, keyboard: no Finished page"; fi
expect_user_installation "for me, keyboard"
press "$window" Return
wait_window_gone "$window" 20 && pass || fail "for me: Enter did not close the Finished page"
wait
expect_eq "for me, keyboard: exit code" "$(cat "$scratch/setup.rc")" 0
finish
