#!/bin/bash
# How the uninstaller removes its own file: a copy in a new folder under the Windows
# temporary folder, whose security descriptor is read back; the copy waits for the
# first process however long its last message box stays open; the hidden switch
# cannot be pointed at a foreign folder; without a copy, the rest is deleted at the
# next restart and the message says so.
source "$(dirname "$0")/lib.sh"
remove_installation
temp_dir="$WINEPREFIX/drive_c/windows/temp"
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
other_vendor="$program_files/OtherVendor"
restore_temp() {
    if [[ -e $temp_dir.saved ]]; then rm -f "$temp_dir"; mv "$temp_dir.saved" "$temp_dir"; fi
}
trap 'restore_temp; rm -rf "$other_vendor" "$temp_dir"/ElvaraSound-Uninstall-*;
      "$wine" reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1;
      remove_installation; cleanup' EXIT

private_folders() { (cd "$temp_dir" && ls -d ElvaraSound-Uninstall-* 2>/dev/null); }
pending_deletions() { "$wine" reg query "$session_manager" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'; }

# ---- a silent uninstall: the copy's folder is made with the private descriptor (read
# back from the log: Wine 8 neither keeps nor reports a file's descriptor), and the
# copy and its folder are deleted at the next restart
install_with_perform
before=$(private_folders)
run_capture silent "$product_dir/Uninstall.exe" /S --log "$(winpath "$scratch/silent.log")"
expect_eq "silent: exit code" "$(cat "$scratch/silent.rc")" 0
wait_until_gone "$product_dir" && pass || fail "silent: the product folder is still there: $(ls "$product_dir" 2>&1)"
new_folders=$(comm -13 <(echo "$before") <(private_folders))
expect_eq "silent: one new private folder" "$(echo "$new_folders" | grep -c .)" 1
folder=${new_folders%%$'\n'*}
expect_eq "private folder: security descriptor" \
    "$(tr -d '\r' <"$scratch/silent.log" | grep -oiP '(?<=self-removal: created C:\\windows\\temp\\'"$folder"' with security ).*')" \
    'O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;OW)'
[[ -f $temp_dir/$folder/Uninstall.exe ]] && pass || fail "the copy is not in its private folder"
for path in "$folder\\Uninstall.exe" "$folder"; do
    pending_deletions | grep -qiF "windows\\temp\\$path" && pass \
        || fail "$path is not scheduled for deletion at restart: $(pending_deletions)"
done

# ---- No at the confirmation: exit code 1602, nothing changed, not even what an
# interrupted update left (a staged folder with the user's file), which a Yes would clear
install_with_perform
staged="$product_dir.install-00112233445566ff"
cp -r "$product_dir" "$staged"
echo "my notes" >"$staged/MyNotes.txt"
snapshot_all() { tree_snapshot "$bundle_dir"; tree_snapshot "$product_dir"; tree_snapshot "$staged"; }
before=$(snapshot_all)
"$wine" "$helpers/run_command_line.exe" '"C:\Program Files\ElvaraSound\Uninstall.exe"' \
    "$(winpath "$scratch/declined.rc")" >/dev/null 2>&1 &
box=$(find_box) || fail "declined: no confirmation"
press "$box" n
wait
expect_eq "declined: exit code" "$(tr -d '\r' <"$scratch/declined.rc")" 1602
sleep 1
expect_eq "declined: nothing changed" "$(snapshot_all)" "$before"
expect_eq "declined: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
rm -rf "$staged"

# ---- the last message box open for more than a minute: the copy starts when it is
# closed, and Uninstall.exe still goes
("$wine" "$product_dir/Uninstall.exe" --log "$(winpath "$scratch/interactive.log")" >/dev/null 2>&1
 echo $? >"$scratch/interactive.rc") &
box=$(find_box) || fail "interactive: no confirmation"
press "$box" y
wait_window_gone "$box" 10 || fail "interactive: the confirmation stays"
box=$(find_box) || fail "interactive: no final message"
[[ ! -e $bundle_dir ]] && pass || fail "interactive: the bundle is still there behind the final message"
echo "keeping the final message open for 65 s"
sleep 65
[[ -e $product_dir/Uninstall.exe ]] && pass || fail "interactive: the copy ran before the message was closed"
press "$box" Return
wait
expect_eq "interactive: exit code" "$(cat "$scratch/interactive.rc")" 0
wait_until_gone "$product_dir" 30 && pass || fail "interactive: the product folder is still there: $(ls "$product_dir" 2>&1)"
expect_eq "interactive: entry removed" "$(registry_value DisplayName)" ""
log_events=$(sed -E 's/^[^ ]+ //' "$scratch/interactive.log" | grep -E '^(result|self-removal: started|exit code)' | sed 's/ C:.*//')
expect_eq "interactive: the copy starts after the message" "$log_events" \
"result: ElvaraSound Livewire Edition was removed.
self-removal: started
exit code 0"

# ---- the hidden switch pointed at a foreign folder, and at an intact installation,
# by the installed uninstaller and by a stray copy: nothing is deleted
install_with_perform
mkdir -p "$other_vendor"
echo "another vendor's uninstaller" >"$other_vendor/Uninstall.exe"
attack_state() { tree_snapshot "$other_vendor"; tree_snapshot "$product_dir"; tree_snapshot "$bundle_dir"; registry_value DisplayName; }
before=$(attack_state)
for exe in "$product_dir/Uninstall.exe" "$build/uninstaller/Uninstall.exe"; do
    for handle in 0 4 8 "$$"; do
        run_capture attack "$exe" --finish-removal "$handle" 'C:\Program Files\OtherVendor'
        run_capture attack-own "$exe" --finish-removal "$handle"
    done
done
sleep 2
expect_eq "hidden switch: nothing deleted" "$(attack_state)" "$before"

# ---- a copy handed over to properly (a real handle to its first process), but from a
# folder with the private name outside the Windows temporary folder: it deletes nothing.
# From a private folder under Windows\Temp the same hand-over removes the remains.
"$wine" reg delete "$uninstall_key" /f /reg:64 >/dev/null 2>&1
rm -rf "$bundle_dir"
(cd "$product_dir" && ls | grep -vxF -e Uninstall.exe -e install-marker.txt | xargs -r rm -f)
remains=$(tree_snapshot "$product_dir")
user_name=${USER:-$(id -un)}
for folder in "users/$user_name/Temp" ProgramData windows/temp; do
    private="$WINEPREFIX/drive_c/$folder/ElvaraSound-Uninstall-0123456789abcdef"
    mkdir -p "$private"
    cp "$product_dir/Uninstall.exe" "$private/"
    "$wine" "$helpers/removal_handover.exe" "C:\\${folder//\//\\}\\ElvaraSound-Uninstall-0123456789abcdef\\Uninstall.exe" \
        >/dev/null 2>&1
    if [[ $folder == windows/temp ]]; then
        wait_until_gone "$product_dir" 30 && pass || fail "handed over from Windows\\Temp: the remains stay"
    else
        sleep 4
        expect_eq "handed over from C:\\$folder: nothing deleted" "$(tree_snapshot "$product_dir")" "$remains"
    fi
    rm -rf "$private"
done
run_capture fresh "$setup_exe" --quiet
expect_eq "installed again for the next case" "$(cat "$scratch/fresh.rc")" 0

# ---- no copy possible (the temporary folder unusable): the rest is deleted at the next
# restart, and the message says so
mv "$temp_dir" "$temp_dir.saved"
echo "not a folder" >"$temp_dir"
run_capture no_copy "$product_dir/Uninstall.exe" /S
restore_temp
expect_eq "no copy: exit code" "$(cat "$scratch/no_copy.rc")" 0
grep -qF "Windows deletes it when the computer restarts" "$scratch/no_copy.out" && pass \
    || fail "no copy: the message does not say so ($(cat "$scratch/no_copy.out"))"
renamed=$(cd "$product_dir" && ls -d Uninstall.exe.*.deleted-at-restart 2>/dev/null)
[[ $renamed =~ ^Uninstall\.exe\.[0-9a-f]{16}\.deleted-at-restart$ ]] && pass \
    || fail "no copy: the uninstaller is not renamed to a name of its own: $(ls "$product_dir")"
pending_deletions | grep -qiF "Program Files\\ElvaraSound\\$renamed" && pass \
    || fail "no copy: $renamed is not scheduled: $(pending_deletions)"
[[ ! -e $bundle_dir ]] && pass || fail "no copy: the bundle is still there"
expect_eq "no copy: the renamed uninstaller, the record and the marker stay" "$(ls "$product_dir" | tr '\n' ' ')" \
    "$renamed elvara-installed-files.txt install-marker.txt "
expect_eq "no copy: entry removed" "$(registry_value DisplayName)" ""
# Installed again before the restart: nothing that the restart deletes belongs to the
# new installation (the fixed names and the folders are never scheduled); the renamed
# uninstaller, carried along like any file that is not the package's, is the only one.
run_capture reinstall "$setup_exe" --quiet
expect_eq "reinstalled before the restart: exit code" "$(cat "$scratch/reinstall.rc")" 0
# The value's strings, one per line, without the "\??\" prefix.
pending_deletions | sed -n 's/.*REG_MULTI_SZ *//p' | sed 's/\\0/\n/g' | sed 's/^\\??\\//' | grep . >"$scratch/pending.txt"
[[ -s $scratch/pending.txt ]] && pass || fail "reinstalled before the restart: no pending deletions read"
while read -r path; do
    windows_path="C:\\Program Files\\$(tr '/' '\\' <<<"$path")"
    grep -qixF "$windows_path" "$scratch/pending.txt" \
        && fail "reinstalled before the restart: $windows_path is scheduled for deletion"
done < <(cd "$program_files" && find ElvaraSound "Common Files/VST3/ElvaraSound.vst3" ! -name "$renamed")
pass
finish
