#!/bin/bash
# Whose is this, end to end, with two real installers: what the uninstaller keeps as
# the user's (an edited read-me, an edited factory preset, the user's own files at
# names that only the second version ships) stays the user's through every later run
# of Setup and of the uninstaller, whether the uninstall finished at once or was cut
# short by a window open in the bundle; a kill at the moment a record goes loses
# nothing; a record that an editor re-saved with CR LF loses nothing either; names that
# only the extended-length form of a path reaches (beyond 260 characters, a trailing dot
# or space, a device name) are carried and kept like any other; more kept items than a
# message box lists are all named in the log and the output.
source "$(dirname "$0")/lib.sh"
holder_pid=
trap 'stop_holder; remove_installation; cleanup' EXIT
remove_installation
make_second_installer

preset=Contents/Resources/Presets/Factory.vstpreset
record=elvara-installed-files.txt

# The user's items of each case, written after the first installation.
write_users_items() { # version
    echo "my read-me" >"$product_dir/README.txt"
    if [[ $1 == b ]]; then
        echo "my tweaks of the factory preset" >"$bundle_dir/$preset"
    else
        echo "my own changes" >"$product_dir/CHANGES.txt"
        mkdir -p "$(dirname "$bundle_dir/$preset")"
        echo "my own preset" >"$bundle_dir/$preset"
    fi
}
expect_users_items() { # description version
    expect_kept "$1" "$product_dir" README.txt "my read-me"
    if [[ $2 == b ]]; then
        expect_kept "$1" "$bundle_dir" "$preset" "my tweaks of the factory preset"
    else
        expect_kept "$1" "$product_dir" CHANGES.txt "my own changes"
        expect_kept "$1" "$bundle_dir" "$preset" "my own preset"
    fi
}
# "was removed" only once Uninstall.exe is really gone.
uninstall_finishes() { # name
    quietly "$1" "$product_dir/Uninstall.exe" /S
    grep -qF "ElvaraSound Livewire Edition was removed." "$scratch/$1.out" && pass || fail "$1: $(cat "$scratch/$1.out")"
    wait_until_gone "$product_dir/Uninstall.exe" || fail "$1: said \"was removed\", but Uninstall.exe stays"
    expect_eq "$1: the entry" "$(registry_value DisplayName)" ""
}

for first in a b; do
    for way in "at once" "cut short by a window in the bundle"; do
        title="installed ${first^^}, uninstalled $way"
        remove_installation
        [[ $first == a ]] && exe=$setup_exe || exe=$setup_b
        quietly "$title: install" "$exe" /S
        write_users_items "$first"
        if [[ $way == at* ]]; then
            uninstall_finishes "$title: uninstall"
        else
            start_holder current-folder "$bundle_dir/Contents/x86_64-win"
            run_capture "$title: held" "$product_dir/Uninstall.exe" /S
            expect_eq "$title: held: exit code" "$(cat "$scratch/$title: held.rc")" 1
            stop_holder
            uninstall_finishes "$title: run again"
        fi
        expect_users_items "$title" "$first"
        [[ -f $product_dir/$record && -f $bundle_dir/Contents/Resources/$record ]] && pass \
            || fail "$title: a folder that keeps the marker keeps its record"
        quietly "$title, then Setup B" "$setup_b" /S
        expect_users_items "$title, then Setup B" "$first"
        uninstall_finishes "$title, then Setup B, then its uninstaller"
        expect_users_items "$title, then Setup B, then its uninstaller" "$first"
        quietly "$title, then Setup A" "$setup_exe" /S
        expect_users_items "$title, then Setup A" "$first"
    done
done

# ---- killed the moment the bundle's record goes: nothing of the user's is lost
remove_installation
quietly "kill: install" "$setup_exe" /S
echo "my read-me" >"$product_dir/README.txt"
("$wine" "$product_dir/Uninstall.exe" /S >/dev/null 2>&1) &
uninstaller=$!
for _ in $(seq 1 3000); do [[ -e $bundle_dir/Contents/Resources/$record ]] || { kill -9 "$uninstaller"; break; }; sleep 0.01; done
wait "$uninstaller" 2>/dev/null
sleep 1
expect_kept "killed at the bundle's record" "$product_dir" README.txt "my read-me"
# (the kill may come once the entry is gone too: the run again then has nothing left but itself)
quietly "killed at the bundle's record, run again" "$product_dir/Uninstall.exe" /S
wait_until_gone "$product_dir/Uninstall.exe" || fail "killed at the bundle's record, run again: Uninstall.exe stays"
expect_kept "killed at the bundle's record, run again" "$product_dir" README.txt "my read-me"
quietly "killed at the bundle's record, then Setup" "$setup_exe" /S
expect_kept "killed at the bundle's record, then Setup" "$product_dir" README.txt "my read-me"

# ---- a record re-saved with CR LF: judged by name and bytes, so the user's file stays
for next in setup uninstaller; do
    remove_installation
    quietly "CR LF, $next: install" "$setup_exe" /S
    echo "my read-me" >"$product_dir/README.txt"
    sed -i 's/$/\r/' "$product_dir/$record"
    if [[ $next == setup ]]; then
        quietly "CR LF, then Setup" "$setup_exe" /S
        expect_eq "CR LF, then Setup: the user's read-me" "$(cat "$product_dir/README (yours).txt")" "my read-me"
    else
        uninstall_finishes "CR LF, then the uninstaller"
        expect_eq "CR LF, then the uninstaller: the user's read-me" "$(cat "$product_dir/README.txt")" "my read-me"
        [[ ! -e $product_dir/PRIVACY.txt ]] && pass || fail "CR LF: the unchanged package file stayed"
    fi
done
# ---- names only the extended-length form reaches, through an update, an uninstall and Setup again
deep="$(printf 'd%.0s' {1..90})/$(printf 'e%.0s' {1..90})/$(printf 'f%.0s' {1..90})/a file deep below.txt"
unusual=("$product_dir/$deep" "$product_dir/notes with a trailing dot." "$product_dir/notes with a trailing space "
    "$product_dir/CON.txt" "$bundle_dir/Contents/Resources/AUX.txt" "$bundle_dir/Contents/Resources/$deep")
expect_unusual_kept() { # description
    local path
    for path in "${unusual[@]}"; do
        [[ -f $path && $(cat "$path") == "mine: ${path##*/}" ]] && pass || fail "$1: the user's [${path#"$program_files"}] is not at its place"
    done
}
remove_installation
quietly "unusual names: install" "$setup_exe" /S
for path in "${unusual[@]}"; do mkdir -p "$(dirname "$path")"; echo "mine: ${path##*/}" >"$path"; done
expect_eq "unusual names: the deep path is longer than 300 characters" \
    "$(( ${#deep} + ${#product_dir} - ${#program_files} + 16 > 300 ))" 1
for step in "update" "uninstall" "Setup again"; do
    case $step in
    update) quietly "unusual names: $step" "$setup_b" /S --log "$(winpath "$scratch/unusual-$step.log")" ;;
    uninstall) quietly "unusual names: $step" "$product_dir/Uninstall.exe" /S --log "$(winpath "$scratch/unusual-$step.log")"
        wait_until_gone "$product_dir/Uninstall.exe" || fail "unusual names: Uninstall.exe stays" ;;
    *) quietly "unusual names: $step" "$setup_exe" /S --log "$(winpath "$scratch/unusual-$step.log")" ;;
    esac
    expect_unusual_kept "unusual names, after the $step"
    ! grep -qi "link" "$scratch/unusual-$step.log" "$scratch/unusual names: $step.out" && pass \
        || fail "unusual names, $step: called a link: $(grep -hi link "$scratch/unusual-$step.log" "$scratch/unusual names: $step.out")"
    ls -d "$program_files"/ElvaraSound.*-* "$program_files/Common Files"/ElvaraSound.vst3.* >/dev/null 2>&1 \
        && fail "unusual names, $step: a working folder stays: $(ls -d "$program_files"/ElvaraSound.*-* "$program_files/Common Files"/ElvaraSound.vst3.* 2>&1)" || pass
done
# ---- more kept items than a message box lists: the log and the output name every one
remove_installation
quietly "many kept: install" "$setup_exe" /S
many=()
for i in $(seq -w 1 8); do many+=("$product_dir/mine $i.txt" "$bundle_dir/Contents/Resources/mine too $i.txt"); done
for path in "${many[@]}"; do echo "mine" >"$path"; done
quietly "many kept: uninstall" "$product_dir/Uninstall.exe" /S --log "$(winpath "$scratch/many.log")"
wait_until_gone "$product_dir/Uninstall.exe" || fail "many kept: Uninstall.exe stays"
for path in "${many[@]}"; do
    [[ -f $path ]] || fail "many kept: ${path##*/} is gone"
    grep -qF "${path##*/}" "$scratch/many.log" && pass || fail "many kept: the log does not name ${path##*/}"
    grep -qF "${path##*/}" "$scratch/many kept: uninstall.out" && pass || fail "many kept: the output does not name ${path##*/}"
done
! grep -qF "more)" "$scratch/many.log" "$scratch/many kept: uninstall.out" && pass || fail "many kept: a list was cut short"
finish
