#!/bin/bash
# The Licence page on screen, as the administrator and as a standard user: the licence
# text is painted in its box, scrolls by keys, the wheel and the scroll bar, and the
# wizard keeps answering afterwards (see walk_licence_page in lib.sh).
source "$(dirname "$0")/lib.sh"

walk_as() { # label [launcher]
    local label=$1 command=("$setup_exe") window pid
    [[ $# -gt 1 ]] && command=("$2" "$(winpath "$setup_exe")")
    "$wine" "${command[@]}" >/dev/null 2>&1 &
    background_pids+=($!)
    window=$(find_setup_window 30) || { fail "$label: no setup window"; return; }
    pid=$(xdotool getwindowpid "$window")
    walk_licence_page "$window" 1 "$label"
    # Escape closes the wizard from inside the licence too.
    click_at "$window" 389 321
    xdotool key --clearmodifiers Escape
    wait_window_gone "$window" 20 && pass || { fail "$label: Escape did not close the wizard"; kill "$pid" 2>/dev/null; }
    wait
}
walk_as administrator
walk_as "standard user" "$helpers/restricted_launcher.exe"
finish
