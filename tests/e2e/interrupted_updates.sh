#!/bin/bash
# One transaction across both folders, with two real installers: an update killed at
# each rename of its swap shows a plug-in host no second module; whichever program runs
# next (Setup of either version, or the uninstaller) leaves both install folders holding
# one version, and the user's items their own names. A first installation killed
# between its two moves into place leaves no plug-in without its product folder. A
# module held in a folder set aside is named and cleared by the run after; working
# folders where earlier versions put them are cleared too.
source "$(dirname "$0")/lib.sh"
holder_pid=
trap 'stop_holder; remove_installation; cleanup' EXIT
remove_installation
make_second_installer

common_dir="$program_files/Common Files"
vst3_dir="$common_dir/VST3"
# What a host that scans the VST3 folder through and through would load besides ours.
stray_modules() { (cd "$vst3_dir" && find . -name '*.vst3' -type f | grep -v '^\./ElvaraSound\.vst3/'); }
working_folders() {
    ls -d "$program_files"/ElvaraSound.*-* "$common_dir"/ElvaraSound.vst3.* "$vst3_dir"/ElvaraSound.vst3.* 2>/dev/null
}
records() {
    cat "$bundle_dir/Contents/Resources/elvara-installed-files.txt" "$product_dir/elvara-installed-files.txt" 2>/dev/null |
        sha256sum | cut -c1-16
}
quietly "A alone" "$setup_exe" /S
records_a=$(records)
remove_installation
quietly "B alone" "$setup_b" /S
records_b=$(records)
remove_installation

# ---- an update from A to B killed at each rename of its swap, then each next program
# A kill lands a moment after the rename that it watches for, so only the kill inside
# the carry is sure to precede the swap: after the others the update may have happened,
# and the user's files stand beside the new version's as "(yours)".
for point in "the carry of the user's CHANGES.txt as \"(yours)\"|$program_files|*\\CHANGES (yours).txt|own" \
             "the bundle set aside|$common_dir|ElvaraSound.vst3.rollback-|either" \
             "the product set aside|$program_files|ElvaraSound.rollback-|either" \
             "the new bundle into place|$vst3_dir|ElvaraSound.vst3\$|either" \
             "the new product into place|$program_files|ElvaraSound\$|either"; do
    IFS='|' read -r where watched name names <<<"$point"
    for next in "Setup B" "Setup A" "the uninstaller"; do
        title="killed at $where, then $next"
        remove_installation
        quietly "$title: A" "$setup_exe" /S
        echo "my read-me" >"$product_dir/README.txt"   # B ships it too: carried as "(yours)"
        echo "my changes" >"$product_dir/CHANGES.txt"  # a name that only B ships
        expect_eq "$title: killed there" "$("$wine" "$helpers/kill_on_entry.exe" "$(winpath "$watched")" "$name" \
            "\"$(winpath "$setup_b")\" --quiet" 2>&1 | tr -d '\r')" "killed"
        expect_eq "$title: modules a host would find besides ours" "$(stray_modules)" ""
        case $next in
        "Setup B")
            quietly "$title" "$setup_b" /S
            expect_eq "$title: one version in both trees" "$(records)" "$records_b"
            expect_eq "$title: the user's read-me" "$(cat "$product_dir/README (yours).txt")" "my read-me"
            expect_eq "$title: the user's changes" "$(cat "$product_dir/CHANGES (yours).txt")" "my changes"
            [[ -n $(registry_value DisplayVersion) ]] && pass || fail "$title: no entry"
            ;;
        "Setup A")
            quietly "$title" "$setup_exe" /S
            expect_eq "$title: one version in both trees" "$(records)" "$records_a"
            expect_kept "$title" "$product_dir" CHANGES.txt "my changes" "$names"
            expect_eq "$title: the user's read-me" "$(cat "$product_dir/README (yours).txt")" "my read-me"
            [[ -n $(registry_value DisplayVersion) ]] && pass || fail "$title: no entry"
            ;;
        *)
            uninstaller="$product_dir/Uninstall.exe"
            [[ -f $uninstaller ]] || uninstaller="$build/uninstaller/Uninstall.exe"
            quietly "$title" "$uninstaller" /S
            wait_until_gone "$product_dir/Uninstall.exe" || fail "$title: Uninstall.exe stays"
            [[ ! -e $bundle_dir ]] && pass || fail "$title: the bundle stays"
            expect_kept "$title" "$product_dir" README.txt "my read-me" "$names"
            expect_kept "$title" "$product_dir" CHANGES.txt "my changes" "$names"
            expect_eq "$title: entry" "$(registry_value DisplayName)" ""
            ;;
        esac
        expect_eq "$title: working folders" "$(working_folders)" ""
        expect_eq "$title: modules a host would find besides ours" "$(stray_modules)" ""
    done
done

# ---- a first installation killed between its two moves into place
for next in Setup "the uninstaller"; do
    title="first installation killed between its moves into place, then $next"
    remove_installation
    expect_eq "$title: killed there" "$("$wine" "$helpers/kill_on_entry.exe" "$(winpath "$vst3_dir")" 'ElvaraSound.vst3$' \
        "\"$(winpath "$setup_exe")\" --quiet" 2>&1 | tr -d '\r')" "killed"
    expect_eq "$title: modules a host would find besides ours" "$(stray_modules)" ""
    if [[ $next == Setup ]]; then
        quietly "$title" "$setup_exe" /S
        expect_installed "$title"
    else
        quietly "$title" "$build/uninstaller/Uninstall.exe" /S
        [[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "$title: something of ours stays"
    fi
    expect_eq "$title: working folders" "$(working_folders)" ""
done

# ---- a module held in a folder set aside: named, then cleared by the run after
remove_installation
quietly "held: A" "$setup_exe" /S
aside="$common_dir/ElvaraSound.vst3.rollback-00112233445566ff"
cp -r "$bundle_dir" "$aside"
start_holder load "$aside/Contents/x86_64-win/ElvaraSound.vst3"
quietly "held" "$setup_b" /S
grep -qF 'Files\Common Files\ElvaraSound.vst3.rollback-00112233445566ff could not be cleared yet' "$scratch/held.out" &&
    pass || fail "held: the folder is not named: $(cat "$scratch/held.out")"
stop_holder
quietly "held, then released" "$setup_b" /S
expect_eq "held, then released: the result" "$(tr -d '\r' <"$scratch/held, then released.out")" \
    "Installed ElvaraSound Livewire Edition 1.3.3."
expect_eq "held, then released: working folders" "$(working_folders)" ""

# ---- working folders where earlier versions put them, inside the VST3 folder
cp -r "$bundle_dir" "$vst3_dir/ElvaraSound.vst3.rollback-1111222233334444"
cp -r "$bundle_dir" "$vst3_dir/ElvaraSound.vst3.install-1111222233334444"
quietly "earlier places" "$setup_exe" /S
expect_eq "earlier places: working folders" "$(working_folders)" ""
expect_eq "earlier places: modules a host would find besides ours" "$(stray_modules)" ""
expect_installed "earlier places"
finish
