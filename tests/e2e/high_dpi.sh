#!/bin/bash
# At 200 % (192 DPI set in the prefix's registry) the wizard is twice as large, drawn
# at that scale, and takes clicks at doubled coordinates; its licence is shown and
# scrolls (walk_licence_page in lib.sh). Restores 96 DPI afterwards.
source "$(dirname "$0")/lib.sh"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
set_system_dpi() { # dpi
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" cmd /c exit 0 >/dev/null 2>&1
}
trap 'cleanup; set_system_dpi 96' EXIT
set_system_dpi 192

("$wine" "$setup_exe" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
background_pids+=($!)
window=$(find_setup_window 30) || { fail "no setup window"; finish; }
twice() { echo $(( $1 * 2 )) $(( $2 * 2 )); }
expect_eq "client area" "$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')" \
    "$(( design_width * 2 ))x$(( design_height * 2 ))"
# The first frame at this size takes longer to reach the screen.
for _ in $(seq 1 20); do
    screenshot "$window" "$scratch/1-welcome.png"
    read -r r _ _ <<<"$(pixel "$scratch/1-welcome.png" $(twice $primary_probe))"
    (( ${r:-0} > 100 )) && break
done
expect_colour "Welcome: Continue at twice its place" "$scratch/1-welcome.png" $(twice $primary_probe) $primary_rgb 14
expect_colour "Welcome: background beside it" "$scratch/1-welcome.png" $(twice $back_probe) 20 19 25 10
[[ $(bright_pixels "$scratch/1-welcome.png" 64 264 1400 100 180) -gt 1200 ]] && pass || fail "Welcome: headline drawn large"

click_at "$window" $(twice $primary_click)
screenshot "$window" "$scratch/2-licence.png"
expect_eq "a click at doubled coordinates: Licence" "$(licence_state)" "visible 1 length 2981"
expect_colour "Licence: Continue disabled" "$scratch/2-licence.png" $(twice $primary_probe) $dark_button_rgb 10
expect_colour "Licence: Back" "$scratch/2-licence.png" $(twice $back_probe) $dark_button_rgb 10
click_at "$window" $(twice $checkbox_probe)
screenshot "$window" "$scratch/3-ticked.png"
expect_colour "Licence: tick at twice its place" "$scratch/3-ticked.png" $(twice $checkbox_probe) $tick_rgb 8
click_at "$window" $(twice $primary_click)
screenshot "$window" "$scratch/4-ready.png"
expect_colour "Ready: only for me, not ticked" "$scratch/4-ready.png" $(twice $checkbox_probe) 25 24 30 12
click_at "$window" $(twice $checkbox_probe)
screenshot "$window" "$scratch/5-for-me.png"
expect_colour "Ready: only for me, ticked at twice its place" "$scratch/5-for-me.png" $(twice $checkbox_probe) $tick_rgb 8
press "$window" Escape
wait_window_gone "$window" 20 && pass || fail "Escape did not close"
wait

# The Licence page at this scale, as the administrator and as a standard user.
for user in administrator "standard user"; do
    command=("$setup_exe")
    [[ $user == "standard user" ]] && command=("$helpers/restricted_launcher.exe" "$(winpath "$setup_exe")")
    "$wine" "${command[@]}" >/dev/null 2>&1 &
    background_pids+=($!)
    window=$(find_setup_window 30) || { fail "$user: no setup window"; continue; }
    pid=$(xdotool getwindowpid "$window")
    walk_licence_page "$window" 2 "192 DPI, $user"
    press "$window" Escape
    wait_window_gone "$window" 20 && pass || { fail "$user: Escape did not close"; kill "$pid" 2>/dev/null; }
    wait
done
finish
