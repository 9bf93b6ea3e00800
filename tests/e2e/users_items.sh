#!/bin/bash
# The user's items that the field found lost or hidden, end to end with two real
# installers: files at the names of the installer's own notes, records and markers
# (in both folders, in subfolders, at the other folder's names) keep every byte through
# repair, update, uninstall and Setup again; files that the uninstaller kept come back
# to their places in the one run after an update killed with the product folder set
# aside; a folder link that the user put in the bundle stays a link, in place; a plug-in
# module that is not ours never stays beside the plug-in's; after a kill at each rename,
# the program that the uninstall entry names exists and finishes the job.
source "$(dirname "$0")/lib.sh"
trap 'remove_installation; in_user_scope_cleanup; cleanup' EXIT
in_user_scope_cleanup() {
    remove_user_installation
    rm -rf "$WINEPREFIX/drive_c/users/$(id -un)/Temp"/ElvaraSound-Uninstall-* # the per-user uninstalls' ended copies
}
remove_installation
make_second_installer

common_dir="$program_files/Common Files"
vst3_dir="$common_dir/VST3"
resources=Contents/Resources
working_folders() {
    ls -d "$program_files"/ElvaraSound.*-* "$common_dir"/ElvaraSound.vst3.* "$vst3_dir"/ElvaraSound.vst3.* 2>/dev/null
}
stray_modules() { (cd "$vst3_dir" && find . -name '*.vst3' -type f | grep -v '^\./ElvaraSound\.vst3/Contents/x86_64-win/ElvaraSound\.vst3$'); }

# ---- files of the user's at reserved names: "folder|relative path"
reserved=("product|elvara-run.txt" "product|elvara-product.txt"
          "product|Notes/elvara-run.txt" "product|Notes/elvara-installed-files.txt" "product|Notes/install-marker.txt"
          "product|$resources/elvara-run.txt" "product|$resources/elvara-installed-files.txt"
          "product|$resources/elvara-product.txt"
          "bundle|$resources/elvara-run.txt" "bundle|$resources/install-marker.txt"
          "bundle|$resources/Mine/elvara-installed-files.txt" "bundle|$resources/Mine/elvara-product.txt"
          "bundle|elvara-run.txt" "bundle|elvara-installed-files.txt" "bundle|install-marker.txt")
folder_of() { [[ $1 == bundle ]] && echo "$bundle_dir" || echo "$product_dir"; }
write_reserved() {
    local item where relative
    for item in "${reserved[@]}"; do
        IFS='|' read -r where relative <<<"$item"
        mkdir -p "$(dirname "$(folder_of "$where")/$relative")"
        printf 'the user'"'"'s bytes at %s\n' "$item" >"$(folder_of "$where")/$relative"
    done
}
expect_reserved() { # description
    local item where relative
    for item in "${reserved[@]}"; do
        IFS='|' read -r where relative <<<"$item"
        expect_eq "$1: $item" "$(cat "$(folder_of "$where")/$relative" 2>&1)" "the user's bytes at $item"
    done
}
quietly "reserved: install A" "$setup_exe" /S
write_reserved
quietly "reserved: repair" "$setup_exe" /S
expect_reserved "reserved, repaired"
mkdir -p "$product_dir/Empty of mine" "$bundle_dir/$resources/Empty of mine"
quietly "reserved: update" "$setup_b" /S
[[ -d "$product_dir/Empty of mine" && -d "$bundle_dir/$resources/Empty of mine" ]] && pass ||
    fail "reserved, updated: the user's empty folders are gone"
expect_reserved "reserved, updated"
expect_eq "reserved, updated: working folders" "$(working_folders)" ""
quietly "reserved: uninstall" "$product_dir/Uninstall.exe" /S --log "$(winpath "$scratch/reserved-uninstall.log")"
wait_until_gone "$product_dir/Uninstall.exe" || fail "reserved: Uninstall.exe stays"
expect_reserved "reserved, uninstalled"
for item in "${reserved[@]}"; do
    IFS='|' read -r where relative <<<"$item"
    grep -q "removed .*${relative//\//.}$" "$scratch/reserved-uninstall.log" &&
        fail "reserved, uninstalled: the log says $item was removed" || pass
done
quietly "reserved: Setup again" "$setup_exe" /S
expect_reserved "reserved, installed again"
users_files=()
for item in "${reserved[@]}"; do users_files+=("${item/#product|/}"); done
expect_installed "reserved, installed again" "" "${users_files[@]/#bundle|/bundle:}"
remove_installation

# ---- kept files, an update killed with the product folder set aside, then Setup
quietly "kept: install" "$setup_exe" /S
echo "my notes" >"$product_dir/My notes.txt"
mkdir -p "$product_dir/Sessions" && echo "my session" >"$product_dir/Sessions/Live set.txt"
quietly "kept: uninstall" "$product_dir/Uninstall.exe" /S
wait_until_gone "$product_dir/Uninstall.exe" || fail "kept: Uninstall.exe stays"
expect_eq "kept: killed with the product folder set aside" "$("$wine" "$helpers/kill_on_entry.exe" \
    "$(winpath "$program_files")" "ElvaraSound.rollback-" "\"$(winpath "$setup_exe")\" --quiet" 2>&1 | tr -d '\r')" "killed"
quietly "kept: Setup" "$setup_exe" /S
expect_eq "kept: the user's notes, in place" "$(cat "$product_dir/My notes.txt" 2>&1)" "my notes"
expect_eq "kept: the user's session, in place" "$(cat "$product_dir/Sessions/Live set.txt" 2>&1)" "my session"
expect_eq "kept: working folders" "$(working_folders)" ""
expect_installed "kept" "" "My notes.txt" "Sessions/Live set.txt"
remove_installation

# ---- folder links that the user put in the bundle, through update, repair, downgrade:
# one in a folder of the user's (the folder moves, and the link with it, as it is), one
# straight in a folder of the package. That one is renamed itself where the file system
# keeps a link apart from its target; Wine gives a link its target's identity and renames
# the target instead, so there the link stays in the folder set aside, which the result
# names, and what it leads to is never moved.
library=$scratch/preset-library
mkdir -p "$library" && echo "a preset of mine" >"$library/Mine.vstpreset"
quietly "link: install A" "$setup_exe" /S
ln -s "$library" "$bundle_dir/$resources/MyPresets"
mkdir -p "$bundle_dir/$resources/Linked" && ln -s "$library" "$bundle_dir/$resources/Linked/Library"
for step in "update:$setup_b" "repair:$setup_b" "downgrade:$setup_exe"; do
    title="link, ${step%%:*}"
    quietly "$title" "${step#*:}" /S
    [[ -L $bundle_dir/$resources/Linked/Library && $(readlink "$bundle_dir/$resources/Linked/Library") == "$library" ]] &&
        pass || fail "$title: Linked/Library is no longer the user's link in place: $(ls -la "$bundle_dir/$resources" 2>&1)"
    if [[ -L $bundle_dir/$resources/MyPresets ]]; then
        expect_eq "$title: MyPresets" "$(readlink "$bundle_dir/$resources/MyPresets")" "$library"
    else
        kept=$(find "$common_dir" -maxdepth 4 -path '*ElvaraSound.vst3.rollback-*/Contents/Resources/MyPresets' -type l | head -1)
        [[ -n $kept && $(readlink "$kept") == "$library" ]] && pass || fail "$title: MyPresets is lost"
        folder=${kept%/Contents/Resources/MyPresets}
        grep -qF "${folder##*/} could not be put back" "$scratch/$title.out" && pass ||
            fail "$title: the folder that holds MyPresets is not named: $(cat "$scratch/$title.out")"
    fi
    expect_eq "$title: the library" "$(ls "$library"; cat "$library/Mine.vstpreset")" "Mine.vstpreset
a preset of mine"
done
quietly "link: uninstall" "$product_dir/Uninstall.exe" /S
wait_until_gone "$product_dir/Uninstall.exe" || fail "link: Uninstall.exe stays"
[[ -L $bundle_dir/$resources/Linked/Library ]] && pass || fail "link: the uninstaller took the folder that holds a link"
expect_eq "link, uninstalled: the library" "$(cat "$library/Mine.vstpreset")" "a preset of mine"
remove_installation

# ---- a module of an earlier version, updated over without a record
module=$bundle_dir/Contents/x86_64-win/ElvaraSound.vst3
quietly "module: install" "$setup_exe" /S
rm "$bundle_dir/$resources/elvara-installed-files.txt" "$product_dir/elvara-installed-files.txt"
printf 'MZ an earlier build' >"$module"
quietly "module: update" "$setup_b" /S
expect_eq "module: modules a host would find besides ours" "$(stray_modules)" ""
set_aside=$(tr -d '\r' <"$scratch/module: update.out" | sed -n 's/.*; it is now \(C:.*ElvaraSound\.vst3\.rollback-[0-9a-f]*\\Contents\\x86_64-win\\ElvaraSound\.vst3\)\.$/\1/p')
[[ -n $set_aside ]] && pass || fail "module: not named where it is: $(cat "$scratch/module: update.out")"
aside_unix=$WINEPREFIX/drive_c/${set_aside#C:\\}
aside_unix=${aside_unix//\\//}
expect_eq "module: its bytes" "$(cat "$aside_unix" 2>&1)" "MZ an earlier build"
remove_installation

# ---- a kill at each rename of an update, then the program that the entry names
for scope in machine user; do
    if [[ $scope == user ]]; then
        bundle=$user_bundle_dir product=$user_product_dir key=$user_uninstall_key
        parent=$local_app_data/Programs
    else
        bundle=$bundle_dir product=$product_dir key=$uninstall_key parent=$program_files
    fi
    for point in "$(dirname "$(dirname "$bundle")")|ElvaraSound.vst3.rollback-" "$parent|ElvaraSound.rollback-" \
                 "$(dirname "$bundle")|ElvaraSound.vst3\$" "$parent|ElvaraSound\$"; do
        IFS='|' read -r watched name <<<"$point"
        title="$scope, killed at $name"
        remove_installation; remove_user_installation
        quietly "$title: A" "$setup_exe" /S --scope $scope
        echo "mine" >"$product/Mine.txt"
        expect_eq "$title: killed there" "$("$wine" "$helpers/kill_on_entry.exe" "$(winpath "$watched")" "$name" \
            "\"$(winpath "$setup_b")\" --quiet --scope $scope" 2>&1 | tr -d '\r')" "killed"
        command=$("$wine" reg query "$key" /v QuietUninstallString /reg:64 2>/dev/null | tr -d '\r' |
            sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
        program=${command%\" /S}; program=${program#\"}
        unix=$WINEPREFIX/drive_c/${program#C:\\}; unix=${unix//\\//}
        [[ -f $unix ]] && pass || fail "$title: the entry names $program, which is not there"
        quietly "$title: the uninstaller" "$unix" /S
        wait_until_gone "$product/Uninstall.exe" || fail "$title: Uninstall.exe stays"
        wait_until_gone "$unix" || fail "$title: $program stays"
        [[ ! -e $bundle ]] && pass || fail "$title: the bundle stays"
        expect_eq "$title: the user's file" "$(cat "$product/Mine.txt" 2>&1)" "mine"
        "$wine" reg query "$key" /reg:64 >/dev/null 2>&1 && fail "$title: the entry stays" || pass
        expect_eq "$title: working folders" "$(ls -d "$parent"/ElvaraSound.*-* "$(dirname "$(dirname "$bundle")")"/ElvaraSound.vst3.* 2>/dev/null)" ""
    done
done
finish
