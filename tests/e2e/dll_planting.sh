#!/bin/bash
# A DLL planted beside the installer under the name of each system DLL it loads late,
# and the same in an "<exe>.local" folder, is never loaded, in any mode. The planted
# DLL leaves "<its path>.loaded" behind when it is loaded.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

folder=$scratch/downloads
mkdir -p "$folder"
exe=$folder/ElvaraSoundLivewireSetup.exe
cp "$setup_exe" "$exe"
mkdir -p "$exe.local"
planted=(d2d1 dwrite dwmapi bcrypt oleacc windowscodecs uxtheme version cryptbase dxgi d3d10_1 d3d11 msvcp_win
         textinputframework)
for dll in "${planted[@]}"; do
    cp "$helpers/planted_probe.dll" "$folder/$dll.dll"
    cp "$helpers/planted_probe.dll" "$exe.local/$dll.dll"
done
markers() { find "$folder" -name '*.loaded' | sort; }

# The control: a program without protection, in the same folder, loads the planted dwmapi.
cp "$helpers/naive_importer.exe" "$folder/naive_importer.exe"
"$wine" "$folder/naive_importer.exe" >/dev/null 2>&1
if [[ -e $folder/dwmapi.dll.loaded ]]; then pass; else fail "control: the planted DLL was not loaded by a naive program"; fi
rm -f "$folder"/*.loaded "$folder/naive_importer.exe"

run_capture verify "$exe" --verify-only
expect_eq "verification mode: exit code" "$(cat "$scratch/verify.rc")" 0
expect_eq "verification mode: nothing planted loaded" "$(markers)" ""

run_capture preview "$exe" --render-preview "$(winpath "$scratch/p.png")"
expect_eq "preview mode: exit code" "$(cat "$scratch/preview.rc")" 0
expect_eq "preview mode: nothing planted loaded" "$(markers)" ""

("$wine" "$exe" >/dev/null 2>&1; echo $? >"$scratch/window.rc") &
if window=$(find_setup_window 30); then
    # A screen reader's request makes the window load its accessibility DLL.
    expect_eq "windowed mode: read through MSAA" "$("$wine" "$helpers/window_probe.exe" accessible 2>/dev/null | tr -d '\r')" \
        "Welcome · ElvaraSound Setup"
    press "$window" Return space Return
    press "$window" Escape
    wait_window_gone "$window" 20 && pass || fail "windowed mode did not close"
else
    fail "windowed mode: no window"
fi
wait
expect_eq "windowed mode: nothing planted loaded" "$(markers)" ""

("$wine" "$exe" --perform >/dev/null 2>&1; echo $? >"$scratch/perform.rc") &
if window=$(find_setup_window 30); then
    wait_for_finished_page "$window" "$scratch/perform.png" 90 && pass || fail "perform: no Finished page"
    expect_installed "perform mode"
    click_at "$window" $primary_click
else
    fail "perform mode: no window"
fi
wait
expect_eq "perform mode: exit code" "$(cat "$scratch/perform.rc")" 0
expect_eq "perform mode: nothing planted loaded" "$(markers)" ""
finish
