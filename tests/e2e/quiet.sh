#!/bin/bash
# Unattended installation as deployment tools run it: "--quiet" with its exact output,
# exit codes and log, never a window; a damaged package, a held install lock and a
# non-administrator; the uninstall entry's quiet command run as a tool runs it.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

installed_line="Installed ElvaraSound Livewire Edition 1.3.3."
expect_nothing_installed() {
    [[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "$1: something was installed"
    expect_eq "$1: no uninstall entry" "$(registry_value DisplayName)" ""
}
# Watches for any window of the program (by class or title) while a run lasts.
watch_windows() { # flag-file
    while [[ ! -e $scratch/stop-watching ]]; do
        if xdotool search --classname 'ElvaraSoundSetup' >/dev/null 2>&1 ||
           xdotool search --name 'ElvaraSound' >/dev/null 2>&1; then
            touch "$1"
        fi
        sleep 0.05
    done
}
# Lines of a log without their timestamps.
log_events() { sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]{12}Z //' "$1"; }

# ---- an administrator's silent install: the line, nothing else, no window, every file and value
rm -f "$scratch/stop-watching" "$scratch/window-seen"
watch_windows "$scratch/window-seen" &
watcher=$!
background_pids+=($watcher)
log=$scratch/install.log
run_capture quiet "$setup_exe" /S --log "$(winpath "$log")"
touch "$scratch/stop-watching"; wait "$watcher"
expect_eq "quiet: standard output" "$(cat "$scratch/quiet.out"; echo x)" "$installed_line"$'\n'"x"
expect_eq "quiet: standard error" "$(cat "$scratch/quiet.err")" ""
expect_eq "quiet: exit code" "$(cat "$scratch/quiet.rc")" 0
[[ ! -e $scratch/window-seen ]] && pass || fail "quiet: a window appeared"
expect_installed "quiet"
uninstaller='C:\Program Files\ElvaraSound\Uninstall.exe'
expect_eq "quiet: QuietUninstallString" "$(registry_value QuietUninstallString)" "\"$uninstaller\" /S"
expect_eq "quiet: DisplayIcon" "$(registry_value DisplayIcon)" "$uninstaller"
expected_kib=$(cd "$build/generated/package-contents" && find . -type f -printf '%s\n' | awk '{ s += $1 } END { print int((s + 1023) / 1024) }')
expect_eq "quiet: EstimatedSize" "$(registry_value EstimatedSize)" "$(printf '0x%x' "$expected_kib")"

# The log: one line per event, in order, each with a UTC timestamp and plausible durations.
[[ $(grep -cvE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z ' "$log") == 0 ]] && pass \
    || fail "log: a line without its timestamp"
# (the transaction's own phases between its start and end are its business)
expect_eq "log: events in order" \
    "$(install_log_summary "$log" | sed -E 's/^Install folders: .*$/Install folders: .../')" \
    "$(expected_install_log /S yes ...)"
total_ms=$(log_events "$log" | sed -nE 's/^Install transaction finished in ([0-9]+) ms$/\1/p')
[[ -n $total_ms && $total_ms -lt 60000 ]] && pass || fail "log: implausible transaction time [$total_ms]"
# Inside the last transaction of a log each phase gives its own duration, in order: every
# phase ends before the next starts, and together they take no longer than the whole.
expect_phases_in_order() { # description log
    local block
    block=$(log_events "$2" | awk '/^Install transaction started$/ { block = "" } { block = block $0 "\n" }
                                   /^Install transaction finished/ { last = block } END { printf "%s", last }')
    expect_eq "$1: the transaction's phases" "$(grep -E ' (started|finished in [0-9]+ ms)$' <<<"$block" |
                                                sed -E 's/[0-9]+ ms$/N ms/')" \
        "Install transaction started
recovery started
recovery finished in N ms
staging started
staging finished in N ms
carrying the user's files started
carrying the user's files finished in N ms
swap started
swap finished in N ms
clean-up started
clean-up finished in N ms
Install transaction finished in N ms"
    local sum total
    sum=$(grep -vE '^Install transaction' <<<"$block" | sed -nE 's/ finished in ([0-9]+) ms$/ \1/p' | awk '{ s += $NF } END { print s + 0 }')
    total=$(sed -nE 's/^Install transaction finished in ([0-9]+) ms$/\1/p' <<<"$block")
    (( ${total:-0} > 0 && sum <= total + 5 )) && pass || fail "$1: the phases take ${sum} ms of a transaction of ${total} ms"
}
expect_phases_in_order "log" "$log"

# ---- "--log" where a link would carry the lines elsewhere: a folder link in the path,
# a file link and a second name (hard link) at the path. Refused by Setup and by the
# uninstaller (elevated by its manifest), the decoys unchanged, nothing installed or removed.
mkdir -p "$scratch/decoys" "$scratch/links"
ln -s "$scratch/decoys" "$scratch/links/folder"
printf 'decoy\n' >"$scratch/decoys/decoy.log"
ln -s "$scratch/decoys/decoy.log" "$scratch/links/file.log"
ln -s "$scratch/decoys/absent.log" "$scratch/links/dangling.log"
ln "$scratch/decoys/decoy.log" "$scratch/links/second-name.log"
# A target with one name only: nothing but the link check can refuse this one.
printf 'lonely\n' >"$scratch/decoys/lonely.log"
ln -s "$scratch/decoys/lonely.log" "$scratch/links/lonely.log"
expect_decoys_unchanged() {
    expect_eq "$1: decoy unchanged" "$(cat "$scratch/decoys/decoy.log" "$scratch/decoys/lonely.log")" "decoy
lonely"
    [[ ! -e $scratch/decoys/absent.log && ! -e $scratch/decoys/new.log ]] && pass || fail "$1: a decoy was created"
}
for linked in folder/new.log folder/decoy.log file.log dangling.log second-name.log lonely.log; do
    log_path=$(winpath "$scratch/links/$linked")
    remove_installation
    run_capture linked-setup "$setup_exe" --quiet --log "$log_path"
    expect_eq "setup --log $linked: exit code" "$(cat "$scratch/linked-setup.rc")" 1
    expect_eq "setup --log $linked: standard error" "$(cat "$scratch/linked-setup.err")" \
        "The log file \"$log_path\" cannot be written. Nothing was installed."
    expect_nothing_installed "setup --log $linked"
    expect_decoys_unchanged "setup --log $linked"
done
"$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" /S" >/dev/null 2>&1
for linked in folder/new.log file.log dangling.log second-name.log lonely.log; do
    log_path=$(winpath "$scratch/links/$linked")
    run_capture linked-uninstall "$product_dir/Uninstall.exe" /S --log "$log_path"
    expect_eq "uninstall --log $linked: exit code" "$(cat "$scratch/linked-uninstall.rc")" 1
    expect_eq "uninstall --log $linked: standard error" "$(cat "$scratch/linked-uninstall.err")" \
        "The log file $log_path cannot be opened. Nothing was removed."
    expect_decoys_unchanged "uninstall --log $linked"
done
expect_installed "after the refused uninstaller logs"

# ---- "--log" spelt as Windows users and deployment tools spell it: one real folder
# through its 8.3 short name, another letter case, forward slashes, relative to the
# current folder, or through a drive letter mapped onto it. Setup and the uninstaller
# both write their log there.
spelt_dir="$scratch/Deployment Logs Folder"
mkdir -p "$spelt_dir"
# Wine 8 opens no file through a subst mapping (DefineDosDevice): its drive letters map
# onto folders in the prefix's dosdevices, and while one maps onto the folder, Wine
# names the folder's files through that letter. So that row comes last.
mapped_drive=
for letter in s t u v w x y; do
    [[ -e $WINEPREFIX/dosdevices/$letter: || -L $WINEPREFIX/dosdevices/$letter: ]] || { mapped_drive=$letter; break; }
done
trap 'rm -f "$WINEPREFIX/dosdevices/$mapped_drive:"; remove_installation; cleanup' EXIT
real_folder=$(winpath "$spelt_dir")
short_folder=$("$wine" "$helpers/short_path.exe" "$real_folder" | tr -d '\r')
[[ $short_folder == *"~"* ]] && pass || fail "no 8.3 short name for [$real_folder]: [$short_folder]"
for spelling in "an 8.3 short name|$short_folder\\setup.log" "another letter case|${real_folder^^}\\setup.log" \
                "forward slashes|${real_folder//\\//}/setup.log" "relative to the current folder|setup.log" \
                "a drive letter mapped onto the folder|${mapped_drive^^}:\\setup.log"; do
    IFS='|' read -r how log_path <<<"$spelling"
    rm -f "$spelt_dir/setup.log"
    [[ $how == "a drive letter"* ]] && ln -s "$spelt_dir" "$WINEPREFIX/dosdevices/$mapped_drive:"
    (cd "$spelt_dir" && "$wine" "$setup_exe" --quiet --log "$log_path" >/dev/null 2>"$scratch/spelt.err"; echo $? >"$scratch/spelt.rc")
    expect_eq "setup --log through $how: exit code" "$(cat "$scratch/spelt.rc")" 0
    grep -qi "Result: Installed" "$spelt_dir/setup.log" 2>/dev/null && pass || fail "setup --log through $how: no log"
    (cd "$spelt_dir" && "$wine" "$product_dir/Uninstall.exe" /S --log "$log_path" >/dev/null 2>&1; echo $? >"$scratch/spelt.rc")
    expect_eq "uninstall --log through $how: exit code" "$(cat "$scratch/spelt.rc")" 0
    grep -q "exit code 0" "$spelt_dir/setup.log" 2>/dev/null && pass || fail "uninstall --log through $how: no log"
    wait_until_gone "$product_dir/Uninstall.exe" || fail "uninstall --log through $how: the uninstaller stayed"
done
rm -f "$WINEPREFIX/dosdevices/$mapped_drive:"
"$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" /S" >/dev/null 2>&1
expect_installed "installed again after the spelt logs"
# A log kept beside the installation: the update carries it like a file of the user's.
for run in first second; do
    run_capture "inside-$run" "$setup_exe" --quiet --log 'C:\Program Files\ElvaraSound\setup.log'
    expect_eq "--log inside the product folder, $run update: exit code" "$(cat "$scratch/inside-$run.rc")" 0
done
expect_eq "--log inside the product folder: both runs in it" "$(grep -c 'Result: Installed' "$product_dir/setup.log")" 2
expect_phases_in_order "--log inside the product folder, an update" "$product_dir/setup.log"
expect_installed "--log inside the product folder" "" setup.log
rm -f "$product_dir/setup.log"
run_capture uninstall-log-switch "$product_dir/Uninstall.exe" /S --log /quiet
expect_eq "uninstall --log /quiet: exit code" "$(cat "$scratch/uninstall-log-switch.rc")" 1
expect_eq "uninstall --log /quiet: standard error" "$(cat "$scratch/uninstall-log-switch.err")" "--log needs a file name."
expect_installed "after --log without a file name"

# ---- a deployment tool's round trip: the quiet uninstall command from the registry, as is
quiet_uninstall=$(registry_value QuietUninstallString)
"$wine" "$helpers/run_command_line.exe" "$quiet_uninstall" >"$scratch/uninstall.out" 2>&1
expect_eq "quiet uninstall: exit code" "$?" 0
for _ in $(seq 1 100); do [[ -e $product_dir ]] || break; sleep 0.1; done # the uninstaller's own file goes last
expect_nothing_installed "quiet uninstall"

# ---- a damaged package: the failure text, exit 1, nothing on disk, no key
package=$build/generated/setup.pkg
cp "$package" "$scratch/damaged.pkg"
printf 'X' | dd of="$scratch/damaged.pkg" bs=1 seek=$(( $(stat -c %s "$package") - 1 )) conv=notrunc status=none
cp "$setup_exe" "$scratch/damaged.exe"
"$wine" "$helpers/replace_resource.exe" "$(winpath "$scratch/damaged.exe")" "$(winpath "$scratch/damaged.pkg")" \
    || fail "damaged: could not replace the resource"
run_capture damaged "$scratch/damaged.exe" --quiet --log "$(winpath "$scratch/damaged.log")"
expect_eq "damaged: standard output" "$(cat "$scratch/damaged.out")" ""
expect_eq "damaged: standard error" "$(cat "$scratch/damaged.err"; echo x)" $'Installer integrity check failed\nx'
expect_eq "damaged: exit code" "$(cat "$scratch/damaged.rc")" 1
expect_nothing_installed "damaged"
expect_eq "damaged: log ends with the failure" "$(log_events "$scratch/damaged.log" | tail -3 | sed -E 's/[0-9]+ ms$/N ms/')" \
"Package verification failed after N ms
Result: Installer integrity check failed
Exit code 1"

# ---- another installation holds the lock: 1618 and its text, nothing changed
"$wine" "$helpers/install_lock_holder.exe" >"$scratch/holder.out" 2>&1 &
holder=$!
background_pids+=($holder)
for _ in $(seq 1 100); do grep -q held "$scratch/holder.out" 2>/dev/null && break; sleep 0.1; done
# (the whole 32-bit exit code, which a Unix shell would cut to its low byte)
"$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" --perform --quiet" "$(winpath "$scratch/locked.rc")" \
    >"$scratch/locked.out" 2>"$scratch/locked.err"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
expect_eq "locked: standard error" "$(cat "$scratch/locked.err"; echo x)" \
    $'Another ElvaraSound installation is running. Wait until it has finished, then try again.\nx'
expect_eq "locked: exit code" "$(cat "$scratch/locked.rc")" 1618
expect_nothing_installed "locked"

# ---- a standard user created the lock's name first and holds it: an administrator's
# installation and uninstallation still complete.
"$wine" "$helpers/restricted_launcher.exe" "$(winpath "$helpers/install_lock_holder.exe")" --squat \
    "$(winpath "$scratch/stop-squatting")" >"$scratch/squatter.out" 2>&1 &
squatter=$!
background_pids+=($squatter)
for _ in $(seq 1 100); do grep -q held "$scratch/squatter.out" 2>/dev/null && break; sleep 0.1; done
grep -q held "$scratch/squatter.out" && pass || fail "squatter: $(cat "$scratch/squatter.out")"
"$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" /S" "$(winpath "$scratch/squatted.rc")" \
    >"$scratch/squatted.out" 2>"$scratch/squatted.err"
expect_eq "lock name squatted: install exit code" "$(cat "$scratch/squatted.rc")" 0
expect_eq "lock name squatted: standard error" "$(cat "$scratch/squatted.err")" ""
expect_installed "lock name squatted"
"$wine" "$helpers/run_command_line.exe" "$(registry_value QuietUninstallString)" "$(winpath "$scratch/squatted-uninstall.rc")" \
    >"$scratch/squatted-uninstall.out" 2>&1
expect_eq "lock name squatted: uninstall exit code" "$(cat "$scratch/squatted-uninstall.rc")" 0
for _ in $(seq 1 100); do [[ -e $product_dir ]] || break; sleep 0.1; done
expect_nothing_installed "lock name squatted, uninstalled"
touch "$scratch/stop-squatting"
wait "$squatter"
expect_eq "squatter: held the name to the end" "$?" 0

# ---- a log that cannot be written: refused before anything changes
run_capture unwritable "$setup_exe" --quiet --log "$(winpath "$scratch/no-such-folder/setup.log")"
expect_eq "unwritable log: exit code" "$(cat "$scratch/unwritable.rc")" 1
[[ $(cat "$scratch/unwritable.err") == *"cannot be written. Nothing was installed."* ]] && pass \
    || fail "unwritable log: text [$(cat "$scratch/unwritable.err")]"
expect_nothing_installed "unwritable log"

# ---- command lines that cannot mean what they say: refused before anything changes,
# with the whole exit code. "/quiet" is accepted like "--quiet".
refusal_case() { # name expected-rc expected-stderr arguments...
    local name=$1 rc=$2 text=$3 line="\"$(winpath "$setup_exe")\""
    shift 3
    for word in "$@"; do line+=" $word"; done
    "$wine" "$helpers/run_command_line.exe" "$line" "$(winpath "$scratch/$name.rc")" \
        >"$scratch/$name.out" 2>"$scratch/$name.err"
    expect_eq "$name: exit code" "$(cat "$scratch/$name.rc")" "$rc"
    expect_eq "$name: standard error" "$(cat "$scratch/$name.err")" "$text"
    expect_eq "$name: standard output" "$(cat "$scratch/$name.out")" ""
    expect_nothing_installed "$name"
}
refusal_case log-last 1 "--log needs a file name." --quiet --log
refusal_case log-then-switch 1 "--log needs a file name." --log --quiet
refusal_case log-named-like-a-switch 1 "--log needs a file name." /quiet --log /S
refusal_case install-folder 1639 'Unknown option: /D=C:\x' /S '/D=C:\x'
refusal_case unknown-word 1639 "Unknown option: --silent" /quiet --silent

# ---- a non-administrator: the program starts its elevated copy and returns its exit code.
# Wine's "runas" keeps the caller's token, so the copy reports the missing rights.
"$wine" "$helpers/restricted_launcher.exe" "$(winpath "$setup_exe")" /quiet --log "$(winpath "$scratch/user.log")" \
    >"$scratch/user.out" 2>"$scratch/user.err"
user_rc=$?
starts=$(grep -c 'setup started (process' "$scratch/user.log")
expect_eq "non-administrator: the caller's log has both runs" "$starts" 2
pids=$(sed -nE 's/.*setup started \(process ([0-9]+)\).*/\1/p' "$scratch/user.log" | sort -u | wc -l)
expect_eq "non-administrator: two different processes" "$pids" 2
grep -qE -- "arguments: --quiet --elevated-copy --lang en --report-pipe [\\][\\][.][\\]pipe[\\]ElvaraSound-Livewire-Report-[0-9A-F]{32}$" "$scratch/user.log" && pass \
    || fail "non-administrator: the copy's arguments: $(grep 'started' "$scratch/user.log")"
copy_rc=$(sed -nE 's/.*The elevated copy ended with exit code ([0-9]+)$/\1/p' "$scratch/user.log")
if [[ $copy_rc == 0 ]]; then
    expect_installed "non-administrator, elevated"
    expect_eq "non-administrator: the copy's line on the caller's standard output" "$(cat "$scratch/user.out")" "$installed_line"
else
    expect_eq "non-administrator: the copy refused" "$(grep -c 'Result: Administrator permission is required' "$scratch/user.log")" 1
    expect_eq "non-administrator: the copy's refusal on the caller's standard error" "$(cat "$scratch/user.err")" \
        "Administrator permission is required to install in the standard VST3 folder."
    expect_eq "non-administrator: nothing on standard output" "$(cat "$scratch/user.out")" ""
    expect_nothing_installed "non-administrator"
fi
expect_eq "non-administrator: the first process ends with the copy's code" "$user_rc" "${copy_rc:-missing}"
finish
