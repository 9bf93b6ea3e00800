#!/bin/bash
# Every state that a window, a kill or a failed removal leaves has a way out: folders
# that a window is open in, an uninstaller killed at several points (its last message
# among them), each followed by the uninstaller run again or by Setup.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'stop_holder; remove_installation; cleanup' EXIT

holder_pid=
quiet_install() { # title
    run_capture setup "$setup_exe" --quiet
    expect_eq "$1: Setup's exit code" "$(cat "$scratch/setup.rc")" 0
    expect_installed "$1"
}
expect_nothing_of_ours() { # title
    wait_until_gone "$product_dir" 30 && pass || fail "$1: the product folder stayed: $(ls -R "$product_dir" 2>&1)"
    [[ ! -e $bundle_dir ]] && pass || fail "$1: the bundle stayed: $(find "$bundle_dir" 2>&1)"
    expect_eq "$1: working folders" \
        "$(cd "$program_files" && ls -d ElvaraSound.*-* "Common Files"/ElvaraSound.vst3.* "Common Files/VST3"/ElvaraSound.vst3.* 2>/dev/null)" ""
    expect_eq "$1: entry" "$(registry_value DisplayName)" ""
}
# Processes of this Wine prefix only (a zombie runs nothing).
our_processes() {
    local pid
    for pid in $(pgrep -f 'Uninstall\.exe|ElvaraSound-Uninstall-'); do
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null || continue
        grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null && continue
        tr '\0' ' ' <"/proc/$pid/cmdline"; echo
    done
}

# ---- a command window open in the product folder while it is uninstalled: the folder
# stays, empty; Setup says which folder while the window is open, and takes the empty
# folder over once it is closed
quiet_install "window in the product folder: installed"
start_holder current-folder "$product_dir"
run_capture held "$product_dir/Uninstall.exe" /S
expect_eq "window in the product folder: uninstaller's exit code" "$(cat "$scratch/held.rc")" 0
sleep 3 # the copy tries, and fails, to remove the folder
expect_eq "window in the product folder: left empty" "$(find "$product_dir" -mindepth 1 2>&1)" ""
run_capture blocked "$setup_exe" --quiet
expect_eq "window in the product folder: Setup's exit code" "$(cat "$scratch/blocked.rc")" 1
grep -qF "is in use by another program (a window or command prompt open in it counts). Nothing was changed. Close that program or window, then run Setup again." \
    "$scratch/blocked.err" && grep -qiF 'Program Files\ElvaraSound' "$scratch/blocked.err" && pass \
    || fail "window in the product folder: Setup's text ($(cat "$scratch/blocked.err"))"
stop_holder
quiet_install "window closed: the empty product folder is taken over"

# ---- a window open in a folder of the bundle: the uninstaller names that folder, keeps
# the entry, and finishes when run again
start_holder current-folder "$bundle_dir/Contents/x86_64-win"
run_capture subfolder "$product_dir/Uninstall.exe" /S
expect_eq "window in a bundle folder: exit code" "$(cat "$scratch/subfolder.rc")" 1
grep -qF 'x86_64-win: in use by another program (a window or command prompt open in it counts)' "$scratch/subfolder.err" \
    && pass || fail "window in a bundle folder: the held folder is not named ($(cat "$scratch/subfolder.err"))"
expect_eq "window in a bundle folder: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
[[ -f $product_dir/Uninstall.exe ]] && pass || fail "window in a bundle folder: the uninstaller is gone"
stop_holder
run_capture finished "$product_dir/Uninstall.exe" /S
expect_eq "window closed: exit code" "$(cat "$scratch/finished.rc")" 0
expect_nothing_of_ours "window closed"

# ---- empty folders where the installation was (a kill between the markers and the
# folders): the uninstaller removes them, Setup takes them over
for where in both bundle; do
    mkdir -p "$bundle_dir/Contents/Resources" "$bundle_dir/Contents/x86_64-win"
    [[ $where == both ]] && mkdir -p "$product_dir/Docs"
    run_capture empty "$build/uninstaller/Uninstall.exe" /S
    expect_eq "empty folders ($where): uninstaller's exit code" "$(cat "$scratch/empty.rc")" 0
    expect_nothing_of_ours "empty folders ($where)"
done
mkdir -p "$bundle_dir/Contents/Resources" "$product_dir/Docs"
quiet_install "empty folders: taken over by Setup"

# ---- an uninstaller that is not the installed copy, with a window open in the product
# folder: the entry goes last, so it stays while the folder does, and the same
# uninstaller run again finishes
start_holder current-folder "$product_dir"
run_capture stray "$build/uninstaller/Uninstall.exe" /S
stop_holder
expect_eq "a stray uninstaller, a held folder: exit code" "$(cat "$scratch/stray.rc")" 1
grep -qF 'ElvaraSound: in use by another program' "$scratch/stray.err" && pass \
    || fail "a stray uninstaller, a held folder: not named ($(cat "$scratch/stray.err"))"
expect_eq "a stray uninstaller, a held folder: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
run_capture finished "$build/uninstaller/Uninstall.exe" /S
expect_eq "a stray uninstaller run again: exit code" "$(cat "$scratch/finished.rc")" 0
expect_nothing_of_ours "a stray uninstaller run again"
quiet_install "after the stray uninstaller"

# ---- the uninstaller killed at several points, then run again: it finishes
kill_when_gone() { # path pid
    for _ in $(seq 1 3000); do [[ -e $1 ]] || { kill -9 "$2" 2>/dev/null; return 0; }; sleep 0.01; done
    return 1
}
for point in "Contents/x86_64-win/ElvaraSound.vst3" "Contents/Resources/elvara-product.txt" "Contents"; do
    ("$wine" "$product_dir/Uninstall.exe" /S >/dev/null 2>&1) &
    uninstaller=$!
    kill_when_gone "$bundle_dir/$point" "$uninstaller" || fail "killed at $point: never removed"
    wait "$uninstaller" 2>/dev/null
    sleep 1
    expect_eq "killed at $point: no process of ours" "$(our_processes)" ""
    # (a run that finished before the kill landed has already removed its own file)
    rerun="$product_dir/Uninstall.exe"
    [[ -f $rerun ]] || rerun="$build/uninstaller/Uninstall.exe"
    run_capture rerun "$rerun" /S
    expect_eq "killed at $point, run again: exit code" "$(cat "$scratch/rerun.rc")" 0
    expect_nothing_of_ours "killed at $point, run again"
    quiet_install "after the kill at $point"
done

# ---- an update killed in its swap (at a real rename of the real Setup), then the
# uninstaller, itself killed once and run again: nothing of ours anywhere, the user's
# file kept in the product folder
for point in "ElvaraSound.vst3.rollback-" "ElvaraSound.rollback-"; do
    title="update killed at $point"
    quiet_install "$title: installed"
    echo "my notes" >"$product_dir/MyNotes.txt"
    watched="$program_files"
    [[ $point == ElvaraSound.vst3.* ]] && watched="$program_files/Common Files"
    # Killed the moment the rename makes that folder.
    expect_eq "$title: killed there" "$("$wine" "$helpers/kill_on_entry.exe" "$(winpath "$watched")" "$point" \
        "\"$(winpath "$setup_exe")\" --quiet" 2>&1 | tr -d '\r')" "killed"
    uninstaller="$product_dir/Uninstall.exe"
    [[ -f $uninstaller ]] || uninstaller=$(compgen -G "$product_dir.rollback-*/Uninstall.exe" | head -1)
    [[ -f $uninstaller ]] || uninstaller="$build/uninstaller/Uninstall.exe"
    ("$wine" "$uninstaller" /S >/dev/null 2>&1) &
    uninstaller_pid=$!
    kill_when_gone "$bundle_dir/Contents/x86_64-win/ElvaraSound.vst3" "$uninstaller_pid"
    wait "$uninstaller_pid" 2>/dev/null
    rerun="$product_dir/Uninstall.exe"
    [[ -f $rerun ]] || rerun="$build/uninstaller/Uninstall.exe"
    run_capture after_kill "$rerun" /S
    expect_eq "$title, uninstaller killed and run again: exit code" "$(cat "$scratch/after_kill.rc")" 0
    sleep 3
    expect_eq "$title, uninstalled: nothing of ours, the user's file kept" \
        "$(cd "$program_files" && find ElvaraSound* "Common Files/VST3" -type f 2>/dev/null | sort)" \
        "ElvaraSound/MyNotes.txt
ElvaraSound/elvara-installed-files.txt
ElvaraSound/install-marker.txt"
    expect_eq "$title, uninstalled: entry" "$(registry_value DisplayName)" ""
    rm -rf "$product_dir"
done
quiet_install "after the killed updates"

# ---- killed while its last message is open: no process of ours stays (the copy waits
# in a job that ends with it), Setup is not told that another installation runs, and
# the uninstaller run again finishes
("$wine" "$product_dir/Uninstall.exe" >/dev/null 2>&1) &
uninstaller=$!
box=$(find_box) || fail "last message: no confirmation"
press "$box" y
wait_window_gone "$box" 10 || fail "last message: the confirmation stays"
box=$(find_box) || fail "last message: no final message"
pgrep -fa 'ElvaraSound-Uninstall-' >/dev/null && pass || fail "last message: no suspended copy waits"
"$wine" "$helpers/install_lock_holder.exe" >"$scratch/lock.out" 2>&1 &
lock_holder=$!
for _ in $(seq 1 100); do grep -q . "$scratch/lock.out" && break; sleep 0.1; done
expect_eq "last message open: the lock is free for Setup" "$(tr -d '\r' <"$scratch/lock.out")" "held"
kill "$lock_holder" 2>/dev/null
wait "$lock_holder" 2>/dev/null
kill -9 "$uninstaller"
wait "$uninstaller" 2>/dev/null
sleep 2
expect_eq "killed with its last message open: no process of ours" "$(our_processes)" ""
expect_eq "killed with its last message open: what stays" "$(ls "$product_dir" | tr '\n' ' ')" \
    "Uninstall.exe elvara-installed-files.txt install-marker.txt "
run_capture rerun "$product_dir/Uninstall.exe" /S
expect_eq "killed with its last message open, run again: exit code" "$(cat "$scratch/rerun.rc")" 0
expect_nothing_of_ours "killed with its last message open, run again"
finish
