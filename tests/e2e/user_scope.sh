#!/bin/bash
# The installation for one user alone, by a standard user (Administrators disabled in
# the token): quiet install and uninstall without elevation, the per-user lock, both
# scopes side by side with their own uninstallers, a kill and the rerun's recovery,
# and a scope word that is neither.
source "$(dirname "$0")/lib.sh"
remove_installation
remove_user_installation
# Earlier tests' per-user uninstalls leave their ended copies for the next run to clear:
# this one starts without them, so that its log shows only its own work.
rm -rf "$WINEPREFIX/drive_c/users/$(id -un)/Temp"/ElvaraSound-Uninstall-*
trap 'remove_installation; remove_user_installation; cleanup' EXIT

installed_line="Installed ElvaraSound Livewire Edition 1.3.3."
as_standard_user() { "$wine" "$helpers/restricted_launcher.exe" "$@"; }
machine_state() { scope_state "$bundle_dir" "$product_dir" "$uninstall_key"; }
user_state() { scope_state "$user_bundle_dir" "$user_product_dir" "$user_uninstall_key"; }
expect_no_machine_installation() {
    [[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "$1: something under Program Files"
    expect_eq "$1: no machine entry" "$(registry_value DisplayName)" ""
}
expect_no_user_installation() {
    [[ ! -e $user_bundle_dir && ! -e $user_product_dir ]] && pass || fail "$1: something in the user's folders"
    expect_eq "$1: no user entry" "$(in_user_scope registry_value DisplayName)" ""
}
user_programs='C:\users\'"$(id -un)"'\AppData\Local\Programs'

# ---- a standard user installs silently for themselves: no elevated copy, no prompt
log=$scratch/user.log
as_standard_user "$(winpath "$setup_exe")" --quiet --scope user --log "$(winpath "$log")" \
    >"$scratch/user.out" 2>"$scratch/user.err"
expect_eq "user: exit code" "$?" 0
expect_eq "user: standard output" "$(cat "$scratch/user.out"; echo x)" "$installed_line"$'\n'"x"
expect_eq "user: standard error" "$(cat "$scratch/user.err")" ""
in_user_scope expect_installed "user"
expect_eq "user: the package's folders, nothing else" \
    "$(cd "$local_app_data/Programs" && find . -maxdepth 3 | sort)" \
    "$(printf '%s\n' . ./Common ./Common/VST3 ./Common/VST3/ElvaraSound.vst3 ./ElvaraSound ./ElvaraSound/EULA.txt \
        ./ElvaraSound/PRIVACY.txt ./ElvaraSound/README.txt ./ElvaraSound/THIRD-PARTY-NOTICES.txt ./ElvaraSound/Uninstall.exe \
        ./ElvaraSound/elvara-installed-files.txt ./ElvaraSound/install-marker.txt | sort)"
expect_no_machine_installation "user"
expected_kib=$(cd "$build/generated/package-contents" && find . -type f -printf '%s\n' | awk '{ s += $1 } END { print int((s + 1023) / 1024) }')
expect_eq "user: every value of the entry" \
    "$("$wine" reg query "$user_uninstall_key" /reg:64 | tr -d '\r' | sed -n 's/^    //p' | sort)" \
"$(sort <<VALUES
DisplayIcon    REG_SZ    $user_programs\\ElvaraSound\\Uninstall.exe
DisplayName    REG_SZ    ElvaraSound Livewire Edition
DisplayVersion    REG_SZ    1.3.3
EstimatedSize    REG_DWORD    $(printf '0x%x' "$expected_kib")
HelpLink    REG_SZ    https://www.elvarasound.com/help
InstallLocation    REG_SZ    $user_programs\\ElvaraSound
Language    REG_DWORD    0x409
NoModify    REG_DWORD    0x1
NoRepair    REG_DWORD    0x1
Publisher    REG_SZ    Anselm Rook / ElvaraSound
QuietUninstallString    REG_SZ    "$user_programs\\ElvaraSound\\Uninstall.exe" /S
UninstallString    REG_SZ    "$user_programs\\ElvaraSound\\Uninstall.exe"
URLInfoAbout    REG_SZ    https://www.elvarasound.com/dawplugin
VALUES
)"
expect_eq "user: one process, no elevated copy" "$(grep -c 'setup started (process' "$log")" 1
expect_eq "user: the log" "$(install_log_summary "$log")" \
    "$(expected_install_log "--quiet --scope user" no "$user_programs\\Common\\VST3\\ElvaraSound.vst3 and $user_programs\\ElvaraSound")"

# ---- the per-user lock: another run of this user holds it (1618, nothing changed);
# the machine's lock held meanwhile does not stop a run for the user
before=$(user_state)
"$wine" "$helpers/install_lock_holder.exe" --user >"$scratch/holder.out" 2>&1 &
holder=$!
background_pids+=($holder)
for _ in $(seq 1 100); do grep -q held "$scratch/holder.out" 2>/dev/null && break; sleep 0.1; done
"$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" --quiet --scope user" "$(winpath "$scratch/locked.rc")" \
    >"$scratch/locked.out" 2>"$scratch/locked.err"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
expect_eq "user lock held: exit code" "$(cat "$scratch/locked.rc")" 1618
expect_eq "user lock held: standard error" "$(cat "$scratch/locked.err")" \
    "Another ElvaraSound installation is running. Wait until it has finished, then try again."
expect_eq "user lock held: nothing changed" "$(user_state)" "$before"
"$wine" "$helpers/install_lock_holder.exe" >"$scratch/machine-holder.out" 2>&1 &
holder=$!
background_pids+=($holder)
for _ in $(seq 1 100); do grep -q held "$scratch/machine-holder.out" 2>/dev/null && break; sleep 0.1; done
as_standard_user "$(winpath "$setup_exe")" --quiet --scope user >"$scratch/beside.out" 2>&1
expect_eq "machine lock held: the user's installation runs" "$?" 0
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
in_user_scope expect_installed "machine lock held"

# ---- both scopes side by side: each uninstaller removes its own and leaves the other's
# files and entry byte for byte; the user's runs without elevation
"$wine" "$setup_exe" /S >/dev/null 2>&1
expect_installed "side by side: machine"
machine_before=$(machine_state)
user_before=$(user_state)
# An ended copy of an earlier per-user uninstall: the next run of the uninstaller clears it too.
ended_copy="$WINEPREFIX/drive_c/users/$(id -un)/Temp/ElvaraSound-Uninstall-00112233445566aa"
mkdir -p "$ended_copy" && cp "$build/uninstaller/Uninstall.exe" "$ended_copy/"
as_standard_user "$(winpath "$user_product_dir/Uninstall.exe")" /S --log "$(winpath "$scratch/user-uninstall.log")" \
    >"$scratch/user-uninstall.out" 2>"$scratch/user-uninstall.err"
expect_eq "user uninstall: exit code" "$?" 0
[[ ! -e $ended_copy ]] && pass || fail "user uninstall: an ended copy in the user's temporary folder stays"
expect_eq "user uninstall: standard output" "$(cat "$scratch/user-uninstall.out")" "ElvaraSound Livewire Edition was removed."
expect_eq "user uninstall: no elevated copy" "$(grep -c 'elevated copy' "$scratch/user-uninstall.log")" 0
for _ in $(seq 1 100); do [[ -e $user_product_dir ]] || break; sleep 0.1; done # its own file goes last
expect_no_user_installation "user uninstall"
expect_eq "user uninstall: the machine's installation unchanged" "$(machine_state)" "$machine_before"

# The copy that removed the user's Uninstall.exe cannot be scheduled for deletion at
# restart by a standard user: the next run of Setup removes its ended folder.
user_temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp" # the user's %TEMP% in a Wine prefix
copies() { ls -d "$user_temp"/ElvaraSound-Uninstall-* 2>/dev/null; }
echo "after the per-user uninstall, copy folders: $(copies | wc -l)"
as_standard_user "$(winpath "$setup_exe")" --quiet --scope user >/dev/null 2>&1
expect_eq "the next Setup: ended uninstall copies in the user's temporary folder" "$(copies)" ""
user_before=$(user_state)
run_capture machine-uninstall "$product_dir/Uninstall.exe" /S
expect_eq "machine uninstall: exit code" "$(cat "$scratch/machine-uninstall.rc")" 0
for _ in $(seq 1 100); do [[ -e $product_dir ]] || break; sleep 0.1; done
expect_no_machine_installation "machine uninstall"
expect_eq "machine uninstall: the user's installation unchanged" "$(user_state)" "$user_before"

# ---- the per-user uninstaller with TEMP and TMP in the 8.3 short form of the user's
# temporary folder (as Windows hands it out for long user names), its log through that
# short form too: it removes itself and its product folder, exit 0; the next Setup in
# that session leaves no copy folder of the finished run behind
long_temp="C:\\users\\$(id -un)\\AppData\\Local\\Temporary Files Of A Long Name"
long_temp_dir="$local_app_data/Temporary Files Of A Long Name"
mkdir -p "$long_temp_dir"
short_temp=$("$wine" "$helpers/short_path.exe" "$long_temp" | tr -d '\r')
[[ $short_temp == *"~"* ]] && pass || fail "no 8.3 short name for [$long_temp]: [$short_temp]"
# Wine sets TEMP and TMP from the registry for a process started from Linux; cmd hands its own on.
with_short_temp() { "$wine" cmd /c "set TEMP=$short_temp&& set TMP=$short_temp&& $(winpath "$helpers/restricted_launcher.exe") $*"; }
short_copies() { ls -d "$long_temp_dir"/ElvaraSound-Uninstall-* 2>/dev/null; }
as_standard_user "$(winpath "$setup_exe")" --quiet --scope user >/dev/null 2>&1
in_user_scope expect_installed "short TEMP: installed"
user_uninstaller='C:\users\'"$(id -un)"'\AppData\Local\Programs\ElvaraSound\Uninstall.exe'
with_short_temp "$user_uninstaller /S --log $short_temp\\uninstall.log" >"$scratch/short-temp.out" 2>&1
expect_eq "short TEMP: uninstall exit code" "$?" 0
wait_until_gone "$user_product_dir" 30 && pass || fail "short TEMP: the product folder stays: $(ls "$user_product_dir" 2>&1)"
expect_no_user_installation "short TEMP"
grep -q "exit code 0" "$long_temp_dir/uninstall.log" 2>/dev/null && pass || fail "short TEMP: no log in the short-named folder"
grep -qiF "self-removal: created $short_temp\\ElvaraSound-Uninstall-" "$long_temp_dir/uninstall.log" && pass \
    || fail "short TEMP: the copy was not made in the user's temporary folder: $(grep self-removal "$long_temp_dir/uninstall.log")"
echo "after the per-user uninstall with a short TEMP, copy folders: $(short_copies | wc -l)"
with_short_temp "$(winpath "$setup_exe") --quiet --scope user" >/dev/null 2>&1
expect_eq "short TEMP, the next Setup: ended uninstall copies" "$(short_copies)" ""
in_user_scope expect_installed "short TEMP: installed again"

# ---- the per-user copy handed over to properly, but run from a folder that is not its
# private one (the installed Uninstall.exe itself, a private-looking folder in another
# temporary folder): exit 1 at once, nothing scheduled, nothing removed. From a private
# folder in the user's temporary folder the same hand-over removes the remains.
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
pending_deletions() { "$wine" reg query "$session_manager" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'; }
"$wine" reg delete "$user_uninstall_key" /f /reg:64 >/dev/null 2>&1
rm -rf "$user_bundle_dir"
(cd "$user_product_dir" && ls | grep -vxF -e Uninstall.exe -e install-marker.txt -e elvara-installed-files.txt | xargs -r rm -f)
remains=$(tree_snapshot "$user_product_dir")
pending_before=$(pending_deletions)
user_temp_windows=$("$wine" cmd /c 'echo %TEMP%' | tr -d '\r')
other_temp="C:\\users\\$(id -un)\\AppData\\Local\\Other Temporary Folder"
private_name=ElvaraSound-Uninstall-0123456789abcdef
for from in "installed|$user_uninstaller" "another temporary folder|$other_temp\\$private_name\\Uninstall.exe" \
            "the user's temporary folder|$user_temp_windows\\$private_name\\Uninstall.exe"; do
    IFS='|' read -r how copy <<<"$from"
    copy_unix="$WINEPREFIX/drive_c/$(sed -e 's/^C:\\//' -e 's/\\/\//g' <<<"$copy")"
    if [[ $how != installed ]]; then mkdir -p "$(dirname "$copy_unix")"; cp "$user_product_dir/Uninstall.exe" "$copy_unix"; fi
    "$wine" "$helpers/removal_handover.exe" "$copy" "$(winpath "$scratch/handover.rc")" >/dev/null 2>&1
    if [[ $how == "the user's temporary folder" ]]; then
        expect_eq "handed over from $how: the copy waits for its first process" "$(tr -d '\r' <"$scratch/handover.rc")" waiting
        wait_until_gone "$user_product_dir" 30 && pass || fail "handed over from $how: the remains stay"
    else
        expect_eq "handed over from $how: exit code" "$(tr -d '\r' <"$scratch/handover.rc")" 1
        sleep 2
        expect_eq "handed over from $how: nothing removed" "$(tree_snapshot "$user_product_dir")" "$remains"
        expect_eq "handed over from $how: nothing scheduled" "$(pending_deletions)" "$pending_before"
        [[ $how != installed ]] && rm -rf "$(dirname "$copy_unix")"
    fi
done
rm -rf "$WINEPREFIX/drive_c/users/$(id -un)/Temp/$private_name" "$long_temp_dir" \
    "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Other Temporary Folder"
remove_user_installation

# ---- killed during an installation for the user, then run again: put right as for the machine
head -c 25165824 /dev/urandom >"$scratch/samples.bin"
"$build/host-tools/package_writer" --payload "$build/../../resources/payload" --output "$scratch/large.pkg" \
    --contents "$scratch/large-contents" \
    --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$build/generated/package-contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
    --with "Product/Uninstall.exe=$build/generated/package-contents/Product/Uninstall.exe" \
    --with "Product/THIRD-PARTY-NOTICES.txt=$scratch/samples.bin"
large_exe=$scratch/ElvaraSoundLarge.exe
cp "$setup_exe" "$large_exe"
"$wine" "$helpers/replace_resource.exe" "$(winpath "$large_exe")" "$(winpath "$scratch/large.pkg")"
working_folders() {
    ls -d "$local_app_data/Programs/Common"/ElvaraSound.vst3.* "$local_app_data/Programs/Common/VST3"/ElvaraSound.vst3.* \
        "$local_app_data/Programs"/ElvaraSound.* 2>/dev/null
}
for delay in 0 0.15; do
    "$wine" "$large_exe" --quiet --scope user >/dev/null 2>&1 &
    run=$!
    background_pids+=($run)
    for _ in $(seq 1 2000); do [[ -n $(working_folders) ]] && break; sleep 0.005; done
    sleep "$delay"
    kill -9 "$run" 2>/dev/null; wait "$run" 2>/dev/null
    echo "killed at +$delay s: working folders: $(working_folders | wc -l)"
    as_standard_user "$(winpath "$large_exe")" --quiet --scope user >/dev/null 2>&1
    expect_eq "rerun after the kill at +$delay s: exit code" "$?" 0
    in_user_scope expect_installed "rerun after the kill at +$delay s" "$scratch/large-contents"
    expect_eq "rerun after the kill at +$delay s: working folders" "$(working_folders)" ""
done
remove_user_installation

# ---- a scope word that is neither: refused before anything changes, in every mode
for words in "--quiet --scope everyone" "/S --scope" "--perform --scope User" "--scope all"; do
    "$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" $words" "$(winpath "$scratch/bad.rc")" \
        >"$scratch/bad.out" 2>"$scratch/bad.err"
    word=$(sed -E 's/.*--scope ?//' <<<"$words")
    expect_eq "$words: exit code" "$(cat "$scratch/bad.rc")" 1
    expected="Unknown scope: $word. Use --scope machine or --scope user."
    [[ -z $word ]] && expected="--scope needs machine or user."
    expect_eq "$words: standard error" "$(cat "$scratch/bad.err")" "$expected"
    expect_no_machine_installation "$words"
    expect_no_user_installation "$words"
done
finish
