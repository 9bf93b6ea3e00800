#!/bin/bash
# The uninstaller against what users meet: the plug-in loaded by a host or held
# open, read-only files, the user's own files in the install folders, links planted
# in place of package folders and files, an installation running, two uninstalls at
# once. A refusal changes nothing (digests, modes, links and the entry); a success
# leaves nothing of ours but the user's files and their folder's marker.
source "$(dirname "$0")/lib.sh"
remove_installation
holder_pid=""
stop_holder() {
    [[ -n $holder_pid ]] || return 0
    kill "$holder_pid" 2>/dev/null
    wait "$holder_pid" 2>/dev/null
    holder_pid=""
    sleep 0.5 # the wineserver lets go of the dead process's handles and mappings
}
stuck_file="$program_files/Common Files/VST3/ElvaraSound.vst3/Contents/Resources/moduleinfo.json"
trap 'stop_holder; chattr -i "$stuck_file" 2>/dev/null; remove_installation; cleanup' EXIT

module="$bundle_dir/Contents/x86_64-win/ElvaraSound.vst3"
bundle_marker="$bundle_dir/Contents/Resources/elvara-product.txt"
product_marker="$product_dir/install-marker.txt"
decoys=$scratch/decoys

# Everything a refusal must leave alone: every entry with its mode and link target,
# every file's digest (links not followed), and the uninstall entry.
state() {
    local root
    for root in "$bundle_dir" "$product_dir" "$decoys"; do
        echo "== $root"
        (cd "$root" 2>/dev/null && find . -printf '%y %m %p -> %l\n' | sort)
        (cd "$root" 2>/dev/null && find . -type f -exec sha256sum {} + | sort -k2)
    done
    echo "entry: $(registry_value DisplayName)"
}
start_holder() { # helper ready-word arguments...
    local helper=$1 ready=$2
    shift 2
    "$wine" "$helpers/$helper.exe" "$@" >"$scratch/holder.out" 2>&1 &
    holder_pid=$!
    for _ in $(seq 1 100); do
        grep -q "$ready" "$scratch/holder.out" && return 0
        sleep 0.1
    done
    fail "$helper $*: $(cat "$scratch/holder.out")"
}
expect_nothing_left() { # title
    [[ ! -e $bundle_dir ]] && pass || fail "$1: the bundle folder is still there: $(find "$bundle_dir" 2>&1 | head -5)"
    wait_until_gone "$product_dir" && pass || fail "$1: the product folder is still there: $(ls "$product_dir" 2>&1)"
    expect_eq "$1: entry removed" "$(registry_value DisplayName)" ""
}
expect_refused() { # title run-name text-fragment before-state
    expect_eq "$1: exit code" "$(cat "$scratch/$2.rc")" 1
    grep -qF "$3" "$scratch/$2.err" && pass || fail "$1: text [$(cat "$scratch/$2.err")] lacks [$3]"
    expect_eq "$1: nothing on standard output" "$(cat "$scratch/$2.out")" ""
    sleep 1 # a self-removal copy, wrongly started, would have acted by now
    expect_eq "$1: nothing changed" "$(state)" "$4"
}
# Runs the installed uninstaller silently like run_capture, with the whole exit code
# (Unix sees only its low byte).
run_silent_uninstall() { # name
    "$wine" "$helpers/run_command_line.exe" '"C:\Program Files\ElvaraSound\Uninstall.exe" /S' \
        "$(winpath "$scratch/$1.rc")" >"$scratch/$1.out" 2>"$scratch/$1.err"
    tr -d '\r' <"$scratch/$1.rc" >"$scratch/$1.rc.tmp" && mv "$scratch/$1.rc.tmp" "$scratch/$1.rc"
}
fresh_installation() {
    remove_installation
    install_with_perform
    expect_installed "installation for the next case"
}

# ---- in use: refused without change; once the holder has gone, removed completely
plugin_text="Close FL Studio and other DAWs before removing the plugin."
in_use_text="is in use by another program. Close that program, then run the uninstaller again."
in_use_cases=( # title|holder mode|held file|text|read-only
    "plug-in loaded by a host (LoadLibraryW)|load|$module|$plugin_text|"
    "plug-in held open for reading|open|$module|$plugin_text|"
    "read-only plug-in loaded by a host|load|$module|$plugin_text|read-only"
    "marker held open without sharing|open-exclusive|$bundle_marker|$in_use_text|"
    "read-me held open without delete sharing|open|$product_dir/README.txt|$in_use_text|"
)
for row in "${in_use_cases[@]}"; do
    IFS='|' read -r title mode target text read_only <<<"$row"
    fresh_installation
    [[ -n $read_only ]] && chmod a-w "$module"
    before=$(state)
    start_holder holder holding "$mode" "$(winpath "$target")"
    run_capture held "$product_dir/Uninstall.exe" /S
    expect_refused "$title" held "$text" "$before"
    stop_holder
    run_capture released "$product_dir/Uninstall.exe" /S
    expect_eq "$title, released: exit code" "$(cat "$scratch/released.rc")" 0
    expect_eq "$title, released: message" "$(tr -d '\r' <"$scratch/released.out")" "ElvaraSound Livewire Edition was removed."
    expect_nothing_left "$title, released"
done

# ---- read-only files: removed, never success with files left
fresh_installation
chmod a-w "$module" "$bundle_marker" "$bundle_dir/Contents/Resources/moduleinfo.json" "$product_dir/README.txt" \
    "$product_dir/EULA.txt" "$product_marker"
run_capture read_only "$product_dir/Uninstall.exe" /S
expect_eq "read-only files: exit code" "$(cat "$scratch/read_only.rc")" 0
expect_eq "read-only files: no failure text" "$(cat "$scratch/read_only.err")" ""
expect_nothing_left "read-only files"

# ---- a file that cannot be deleted (immutable on the Unix side: even the system's own
# deletion fails): never success; the entry, Uninstall.exe and both markers stay, the
# message names the file; once it can be deleted, running again finishes the job
fresh_installation
chattr +i "$stuck_file"
run_capture stuck "$product_dir/Uninstall.exe" /S
expect_eq "file that cannot be deleted: exit code" "$(cat "$scratch/stuck.rc")" 1
grep -qF 'ElvaraSound Livewire Edition was not completely removed.' "$scratch/stuck.err" && pass \
    || fail "file that cannot be deleted: text ($(cat "$scratch/stuck.err"))"
grep -qF 'moduleinfo.json' "$scratch/stuck.err" && pass || fail "file that cannot be deleted: the file is named"
expect_eq "file that cannot be deleted: nothing on standard output" "$(cat "$scratch/stuck.out")" ""
sleep 1
for kept in "$stuck_file" "$bundle_marker" "$product_marker" "$product_dir/Uninstall.exe"; do
    [[ -f $kept ]] && pass || fail "file that cannot be deleted: $kept is gone"
done
expect_eq "file that cannot be deleted: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
chattr -i "$stuck_file"
run_capture unstuck "$product_dir/Uninstall.exe" /S
expect_eq "running again: exit code" "$(cat "$scratch/unstuck.rc")" 0
expect_eq "running again: message" "$(tr -d '\r' <"$scratch/unstuck.out")" "ElvaraSound Livewire Edition was removed."
expect_nothing_left "running again"

# ---- links in place of package folders and files, pointing at decoys: refused before
# anything is deleted, the decoys intact
fresh_installation
mkdir -p "$decoys/module-folder" "$decoys/product"
echo "decoy module" >"$decoys/module-folder/ElvaraSound.vst3"
echo "a user's document elsewhere" >"$decoys/letter.txt"
link_text="is a link to another place"
link_case() { # title uninstaller
    local before
    before=$(state)
    run_capture link "$2" /S
    expect_refused "$1" link "$link_text" "$before"
}
mv "$bundle_dir/Contents/x86_64-win" "$scratch/real-module-folder"
ln -s "$decoys/module-folder" "$bundle_dir/Contents/x86_64-win"
link_case "module folder is a link" "$product_dir/Uninstall.exe"
rm "$bundle_dir/Contents/x86_64-win"
mv "$scratch/real-module-folder" "$bundle_dir/Contents/x86_64-win"

mv "$product_dir/README.txt" "$scratch/real-readme"
ln -s "$decoys/letter.txt" "$product_dir/README.txt"
link_case "read-me is a file link" "$product_dir/Uninstall.exe"
rm "$product_dir/README.txt"
mv "$scratch/real-readme" "$product_dir/README.txt"

# A link that the user put where the package puts nothing is the user's item like any
# file: kept, never followed, and named; the rest is removed.
ln -s "$decoys/product" "$product_dir/Shortcut to my projects"
decoys_before=$(cd "$decoys" && find . -printf '%y %s %p\n' | sort)
run_capture users_link "$product_dir/Uninstall.exe" /S
expect_eq "a user's link in the product folder: exit code" "$(cat "$scratch/users_link.rc")" 0
grep -qF 'Shortcut to my projects' "$scratch/users_link.out" && pass \
    || fail "a user's link in the product folder: not named ($(cat "$scratch/users_link.out"))"
wait_until_gone "$product_dir/Uninstall.exe" || fail "a user's link in the product folder: the uninstaller stayed"
[[ -L "$product_dir/Shortcut to my projects" ]] && pass || fail "a user's link in the product folder: the link is gone"
expect_eq "a user's link in the product folder: what stays" "$(ls "$product_dir" | tr '\n' '|')" \
    "Shortcut to my projects|elvara-installed-files.txt|install-marker.txt|"
expect_eq "a user's link in the product folder: its target untouched" \
    "$(cd "$decoys" && find . -printf '%y %s %p\n' | sort)" "$decoys_before"
[[ ! -e $bundle_dir ]] && pass || fail "a user's link in the product folder: the bundle stayed"
rm "$product_dir/Shortcut to my projects"
fresh_installation

vst3_dir="$program_files/Common Files/VST3"
mv "$vst3_dir" "$decoys/VST3"
ln -s "$decoys/VST3" "$vst3_dir"
before=$(state)
run_capture link "$product_dir/Uninstall.exe" /S
expect_refused "the VST3 folder above the bundle is a link" link 'Common Files\VST3 is a link to another place' "$before"
rm "$vst3_dir"
mv "$decoys/VST3" "$vst3_dir"

cp -a "$product_dir/." "$decoys/product/"
mv "$product_dir" "$scratch/real-product"
ln -s "$decoys/product" "$product_dir"
link_case "product folder is a link" "$build/uninstaller/Uninstall.exe"
rm "$product_dir"
mv "$scratch/real-product" "$product_dir"
rm -rf "$decoys"
expect_installed "after the link cases"

# ---- an installation running: the lock's text and 1618, nothing changed
before=$(state)
start_holder install_lock_holder held
run_silent_uninstall locked
expect_eq "installation running: exit code" "$(cat "$scratch/locked.rc")" 1618
expect_eq "installation running: text" "$(tr -d '\r' <"$scratch/locked.err")" \
    "Another ElvaraSound installation is running. Wait until it has finished, then try again."
sleep 1
expect_eq "installation running: nothing changed" "$(state)" "$before"
stop_holder

# ---- the user's own files: they stay with their folder's marker; Setup installs into
# the folders again, and a second uninstall keeps them too
echo "my own notes" >"$product_dir/my-notes.txt"
echo "my settings" >"$bundle_dir/Contents/x86_64-win/my-settings.ini"
run_capture user_files "$product_dir/Uninstall.exe" /S
expect_eq "user files: exit code" "$(cat "$scratch/user_files.rc")" 0
expect_eq "user files: no failure text" "$(cat "$scratch/user_files.err")" ""
grep -q "^ElvaraSound Livewire Edition was removed." "$scratch/user_files.out" && pass \
    || fail "user files: success text ($(cat "$scratch/user_files.out"))"
grep -qF 'my-notes.txt' "$scratch/user_files.out" && pass || fail "user files: the kept files are named"
wait_until_gone "$product_dir/Uninstall.exe" && pass || fail "user files: Uninstall.exe is still there"
remaining() { (cd "$program_files" && find "Common Files/VST3/ElvaraSound.vst3" ElvaraSound -type f 2>/dev/null | sort); }
expect_eq "user files: only they and their folders' markers remain" "$(remaining)" \
"Common Files/VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt
Common Files/VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt
Common Files/VST3/ElvaraSound.vst3/Contents/x86_64-win/my-settings.ini
ElvaraSound/elvara-installed-files.txt
ElvaraSound/install-marker.txt
ElvaraSound/my-notes.txt"
expect_eq "user files: entry removed" "$(registry_value DisplayName)" ""

# The kept bundle has its marker but no module: Setup's in-use check must take a
# missing module as free.
install_with_perform
package_files_present=0
while read -r file; do
    case $file in
    VST3/ElvaraSound.vst3/*) cmp -s "$build/generated/package-contents/$file" "$bundle_dir/${file#VST3/ElvaraSound.vst3/}" ;;
    Product/*) cmp -s "$build/generated/package-contents/$file" "$product_dir/${file#Product/}" ;;
    esac && package_files_present=$((package_files_present + 1))
done < <(cd "$build/generated/package-contents" && find . -type f | sed 's|^\./||')
expect_eq "installed again over the kept files: package files in place" "$package_files_present" \
    "$(find "$build/generated/package-contents" -type f | wc -l)"
expect_eq "installed again: entry" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
echo "notes written after the reinstall" >"$product_dir/more-notes.txt"
users_before=$( (cd "$program_files" && find "Common Files/VST3/ElvaraSound.vst3" ElvaraSound -type f | sort) |
    grep -vxF -f <(cd "$build/generated/package-contents" && find . -type f | sed -e 's|^\./VST3/|Common Files/VST3/|' -e 's|^\./Product/|ElvaraSound/|') |
    grep -v 'elvara-installed-files.txt$') # the records are the installer's own
run_capture second "$product_dir/Uninstall.exe" /S
expect_eq "second uninstall: exit code" "$(cat "$scratch/second.rc")" 0
wait_until_gone "$product_dir/Uninstall.exe" && pass || fail "second uninstall: Uninstall.exe is still there"
# A folder keeps its marker and record only where it keeps a user's file.
markers_kept=$(grep -q '^Common Files/' <<<"$users_before" && printf '%s\n' "Common Files/VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt" "Common Files/VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt"
    grep -q '^ElvaraSound/' <<<"$users_before" && printf '%s\n' "ElvaraSound/install-marker.txt" "ElvaraSound/elvara-installed-files.txt")
expect_eq "second uninstall: the user's files and their folders' markers remain" "$(remaining)" \
    "$(printf '%s\n' "$users_before" "$markers_kept" | grep -v '^$' | sort)"
expect_eq "second uninstall: entry removed" "$(registry_value DisplayName)" ""

# ---- two silent uninstalls at once: one removes, the other reports the lock or that
# nothing is left to remove; never a false text
fresh_installation
run_silent_uninstall first &
run_silent_uninstall other &
wait
removed=0
for run in first other; do
    rc=$(cat "$scratch/$run.rc") out=$(tr -d '\r' <"$scratch/$run.out") err=$(tr -d '\r' <"$scratch/$run.err")
    echo "two at once, $run: exit code $rc, output [$out], error [$err]"
    case "$rc|$out|$err" in
    "0|ElvaraSound Livewire Edition was removed.|") removed=$((removed + 1)); pass ;;
    "0|ElvaraSound Livewire Edition is not installed. Nothing was removed.|") pass ;;
    "1618||Another ElvaraSound installation is running. Wait until it has finished, then try again.") pass ;;
    *) fail "two at once, $run: unexpected result" ;;
    esac
done
expect_eq "two at once: exactly one removes" "$removed" 1
expect_nothing_left "two at once"
finish
