#!/bin/bash
# Updates and downgrades between two real installers whose packages differ (the
# second drops PRIVACY.txt and adds CHANGES.txt and a factory preset inside the
# bundle), then the uninstaller of the second: what each installation recorded is
# removed, the user's own files stay, with their folders' markers, and are named.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT

make_second_installer

working_folders() {
    ls -d "$program_files"/ElvaraSound.*-* "$program_files/Common Files"/ElvaraSound.vst3.* \
        "$program_files/Common Files/VST3"/ElvaraSound.vst3.* 2>/dev/null
}
quiet_install() { # name exe
    run_capture "$1" "$2" /S --log "$(winpath "$scratch/$1.log")"
    expect_eq "$1: exit code" "$(cat "$scratch/$1.rc")" 0
    expect_eq "$1: no working folders" "$(working_folders)" ""
}
user_preset="Contents/Resources/UserPresets/Mine.vstpreset"
add_user_files() { # the name that the next version starts to use
    echo "my notes" >"$product_dir/MyNotes.txt"
    mkdir -p "$(dirname "$bundle_dir/$user_preset")"
    echo "my preset" >"$bundle_dir/$user_preset"
    echo "my own $1" >"$product_dir/$1"
}
# Uninstalls with the installed uninstaller: only the user's files and their folders' markers and records stay.
uninstall_keeps_only() { # name product-user-files...
    run_capture "$1" "$product_dir/Uninstall.exe" /S
    expect_eq "$1: exit code" "$(cat "$scratch/$1.rc")" 0
    wait_until_gone "$product_dir/Uninstall.exe" || fail "$1: the uninstaller stayed"
    local expected_product
    expected_product=$(printf '%s\n' "${@:2}" install-marker.txt elvara-installed-files.txt | sort)
    expect_eq "$1: what stays in the product folder" "$(cd "$product_dir" && find . -type f | sed 's|^\./||' | sort)" \
        "$expected_product"
    expect_eq "$1: what stays in the bundle" "$(cd "$bundle_dir" && find . -type f | sed 's|^\./||' | sort)" \
        "$(printf '%s\n' Contents/Resources/elvara-product.txt Contents/Resources/elvara-installed-files.txt "$user_preset" | sort)"
    local listed
    listed=$(tr -d '\r' <"$scratch/$1.out" | grep -F 'C:\' | grep -vF 'Program Files\Common Files\VST3\ElvaraSound.vst3\Contents\Resources\UserPresets' || true)
    expect_eq "$1: the kept product files are named" "$(sort <<<"$listed")" \
        "$(printf 'C:\\Program Files\\ElvaraSound\\%s\n' "${@:2}" | sort)"
    grep -qF 'ElvaraSound.vst3\Contents\Resources\UserPresets\Mine.vstpreset' "$scratch/$1.out" && pass \
        || fail "$1: the kept preset is named"
    expect_eq "$1: entry removed" "$(registry_value DisplayName)" ""
}

# ---- update: 1.3.3's package, then the second's
quiet_install first "$setup_exe"
add_user_files CHANGES.txt
quiet_install update "$setup_b"
expect_installed "update" "$b_contents" MyNotes.txt "CHANGES (yours).txt" "bundle:$user_preset"
expect_eq "update: the user's CHANGES.txt kept beside the new one" "$(cat "$product_dir/CHANGES (yours).txt")" "my own CHANGES.txt"
expect_eq "update: the preset inside the bundle kept" "$(cat "$bundle_dir/$user_preset")" "my preset"
[[ ! -e $product_dir/PRIVACY.txt ]] && pass || fail "update: the old version's PRIVACY.txt stayed"
grep -qF 'CHANGES (yours).txt' "$scratch/update.log" && pass || fail "update: the log does not say where the user's file went"
uninstall_keeps_only "uninstall after the update" MyNotes.txt "CHANGES (yours).txt"

# ---- downgrade: the second's package, then 1.3.3's, which starts to ship PRIVACY.txt again
remove_installation
quiet_install second "$setup_b"
add_user_files PRIVACY.txt
quiet_install downgrade "$setup_exe"
expect_installed "downgrade" "" MyNotes.txt "PRIVACY (yours).txt" "bundle:$user_preset"
expect_eq "downgrade: the preset inside the bundle kept" "$(cat "$bundle_dir/$user_preset")" "my preset"
[[ ! -e $product_dir/CHANGES.txt && ! -e $bundle_dir/Contents/Resources/Presets ]] && pass \
    || fail "downgrade: the newer version's files stayed"
uninstall_keeps_only "uninstall after the downgrade" MyNotes.txt "PRIVACY (yours).txt"
finish
