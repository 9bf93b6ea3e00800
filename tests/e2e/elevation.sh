#!/bin/bash
# The elevation path end to end: an unelevated wizard (Administrators disabled in
# its token) hands the installation to its elevated copy; "--perform" without
# rights fails cleanly; a relaunch that cannot start shows the refusal; the machine's
# uninstaller started without rights hands the removal to its elevated copy.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

start_unelevated() { # exe args...
    ("$wine" "$helpers/restricted_launcher.exe" "$(winpath "$1")" "${@:2}" >/dev/null 2>&1
     echo $? >"$scratch/unelevated.rc") &
    background_pids+=($!)
    window=$(find_setup_window 30) || { fail "no setup window"; finish; }
}
expect_nothing_installed() {
    [[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "$1: something was installed"
    expect_eq "$1: no uninstall entry" "$(registry_value DisplayName)" ""
}

# ---- Install from an unelevated wizard: the elevated copy takes over.
start_unelevated "$setup_exe"
press "$window" Return space Return Return
wait_window_gone "$window" 30 && pass || fail "the unelevated wizard did not end"
wait
expect_eq "unelevated wizard: exit code" "$(cat "$scratch/unelevated.rc")" 0
if elevated=$(find_setup_window 30); then
    pass
    # The copy opens on the Installing page with "--perform" and needs no input to finish.
    if wait_for_finished_page "$elevated" "$scratch/elevated-finished.png" 90; then
        pass
        if [[ -e $bundle_dir ]]; then
            [[ $(bright_pixels "$scratch/elevated-finished.png" $daw_hint_x $daw_hint_y $daw_hint_width 30 180) -gt 50 ]] && pass \
                || fail "elevated copy: success hint"
            expect_installed "elevated installation"
        else
            # Wine 8.0's "runas" starts the copy with the caller's token instead of the
            # elevated one: the copy then refuses with the administrator text, as it must.
            echo "note: runas did not elevate on this platform; the copy reported the missing rights"
            expect_eq "unelevated copy: no DAW hint" \
                "$(bright_pixels "$scratch/elevated-finished.png" $daw_hint_x $daw_hint_y $daw_hint_width 40 100)" 0
            expect_nothing_installed "unelevated copy"
        fi
    else
        fail "elevated copy: no Finished page"
    fi
    click_at "$elevated" $primary_click
    wait_window_gone "$elevated" 20 && pass || fail "elevated copy did not close"
else
    fail "no elevated copy appeared"
fi
remove_installation

# ---- "--perform" without administrator rights: the failure page, exit code 1.
start_unelevated "$setup_exe" --perform
if wait_for_finished_page "$window" "$scratch/perform-finished.png" 60; then
    pass
    expect_eq "perform unelevated: no DAW hint" "$(bright_pixels "$scratch/perform-finished.png" $daw_hint_x $daw_hint_y $daw_hint_width 40 100)" 0
    [[ $(bright_pixels "$scratch/perform-finished.png" $result_text_x $result_text_y $result_text_width 40 140) -gt 50 ]] && pass \
        || fail "perform unelevated: failure text"
else
    fail "perform unelevated: no Finished page"
fi
expect_nothing_installed "perform unelevated"
click_at "$window" $primary_click
wait
expect_eq "perform unelevated: exit code" "$(cat "$scratch/unelevated.rc")" 1

# ---- The relaunch cannot start (the executable is gone): the refusal page, exit code 1.
copy=$scratch/copy/ElvaraSoundLivewireSetup.exe
mkdir -p "$scratch/copy" && cp "$setup_exe" "$copy"
start_unelevated "$copy"
press "$window" Return space Return
mv "$copy" "$scratch/copy/moved-away.exe"
press "$window" Return
if wait_for_finished_page "$window" "$scratch/refused.png" 30; then
    pass
    expect_eq "refused: no DAW hint" "$(bright_pixels "$scratch/refused.png" $daw_hint_x $daw_hint_y $daw_hint_width 40 100)" 0
else
    fail "refused: no Finished page"
fi
expect_nothing_installed "refused"
click_at "$window" $primary_click
wait
expect_eq "refused: exit code" "$(cat "$scratch/unelevated.rc")" 1

# ---- the machine's uninstaller started by a standard user: its manifest asks for no
# rights, so it relaunches itself through "runas", waits and ends with the copy's code.
"$wine" "$setup_exe" /S >/dev/null 2>&1
expect_installed "before the unelevated uninstall"
log=$scratch/uninstall.log
"$wine" "$helpers/restricted_launcher.exe" "$(winpath "$product_dir/Uninstall.exe")" /S --log "$(winpath "$log")" \
    >"$scratch/uninstall.out" 2>"$scratch/uninstall.err"
uninstall_rc=$?
expect_eq "unelevated uninstall: the caller's log has both runs" "$(grep -c 'Uninstall .* started: ' "$log")" 2
grep -q 'Not elevated: starting the elevated copy with "/S --elevated-copy --lang en"$' "$log" && pass \
    || fail "unelevated uninstall: no relaunch in the log"
grep -qE -- 'Uninstall.exe" /S --elevated-copy --lang en --report-pipe [\][\][.][\]pipe[\]ElvaraSound-Livewire-Report-[0-9A-F]{32}$' "$log" && pass \
    || fail "unelevated uninstall: the copy's arguments: $(grep 'started' "$log")"
copy_rc=$(sed -nE 's/.*The elevated copy ended with exit code ([0-9]+)$/\1/p' "$log")
if [[ $copy_rc == 0 ]]; then
    for _ in $(seq 1 100); do [[ -e $product_dir ]] || break; sleep 0.1; done
    expect_nothing_installed "elevated uninstall"
else
    # Wine's "runas" keeps the caller's token: the copy refuses, and does not relaunch again.
    echo "note: runas did not elevate on this platform; the copy reported the missing rights"
    expect_eq "unelevated copy: one relaunch only" "$(grep -c 'starting the elevated copy' "$log")" 1
    expect_eq "unelevated copy: its refusal on the caller's standard error" "$(cat "$scratch/uninstall.err")" \
        "ElvaraSound Livewire Edition was not removed: the uninstaller needs administrator rights. Start it from Installed apps and allow it to make changes."
    expect_installed "unelevated copy refused"
fi
expect_eq "unelevated uninstall: the first process ends with the copy's code" "$uninstall_rc" "${copy_rc:-missing}"
finish
