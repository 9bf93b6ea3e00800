#!/bin/bash
# Install with the real setup program, then remove with the installed uninstaller.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT
vst3_dir="$program_files/Common Files/VST3"

# ---- install, uninstall: nothing of ours remains
install_with_perform
expect_installed "first installation"
run_capture uninstall "$product_dir/Uninstall.exe" /S
expect_eq "uninstall: exit code" "$(cat "$scratch/uninstall.rc")" 0
expect_eq "uninstall: messages" "$(cat "$scratch/uninstall.err")" ""
[[ ! -e $bundle_dir ]] && pass || fail "the bundle folder is still there"
wait_until_gone "$product_dir" && pass || fail "the product folder is still there: $(ls "$product_dir" 2>&1)"
expect_eq "uninstall: entry removed" "$(registry_value DisplayName)" ""
[[ -d $vst3_dir ]] && pass || fail "the shared VST3 folder must stay"

# ---- an update killed in its swap, then the uninstaller (not Setup): the interrupted
# run is put right first, then everything of ours goes and the user's file stays
install_with_perform
echo "my notes" >"$product_dir/MyNotes.txt"
token=00112233445566ff
cp -r "$bundle_dir" "$bundle_dir.install-$token"          # a complete staged bundle
cp -r "$product_dir" "$product_dir.install-$token"
rm "$product_dir.install-$token/MyNotes.txt"
mv "$bundle_dir" "$bundle_dir.rollback-$token"            # killed right after the first rename
mkdir -p "$product_dir.rollback-1111222233334444/Presets"  # an older run killed in its clean-up
echo "old preset" >"$product_dir.rollback-1111222233334444/Presets/old.preset"
run_capture interrupted "$product_dir/Uninstall.exe" /S
expect_eq "after a killed update: exit code" "$(cat "$scratch/interrupted.rc")" 0
expect_eq "after a killed update: no failure text" "$(cat "$scratch/interrupted.err")" ""
wait_until_gone "$product_dir/Uninstall.exe" || fail "after a killed update: the uninstaller stayed"
expect_eq "after a killed update: nothing of ours anywhere, the user's files in the product folder" \
    "$(cd "$program_files" && find ElvaraSound* "Common Files/VST3" -type f 2>/dev/null | sort)" \
    "ElvaraSound/MyNotes.txt
ElvaraSound/Presets/old.preset
ElvaraSound/elvara-installed-files.txt
ElvaraSound/install-marker.txt"
grep -qF 'MyNotes.txt' "$scratch/interrupted.out" && grep -qF 'old.preset' "$scratch/interrupted.out" && pass \
    || fail "after a killed update: the kept files are named ($(cat "$scratch/interrupted.out"))"
remove_installation

# ---- a second uninstall finds nothing
run_capture again "$build/uninstaller/Uninstall.exe" /S
expect_eq "second uninstall: exit code" "$(cat "$scratch/again.rc")" 0
expect_eq "second uninstall: message" "$(tr -d '\r' <"$scratch/again.out")" \
    "ElvaraSound Livewire Edition is not installed. Nothing was removed."
expect_eq "second uninstall: no failure text" "$(cat "$scratch/again.err")" ""

# ---- install again; a foreign bundle refuses the whole uninstall, which changes nothing
install_with_perform
expect_installed "second installation"
# ---- without administrator rights: refused before anything changes
installed_before=$(tree_snapshot "$bundle_dir"; tree_snapshot "$product_dir")
run_capture restricted "$helpers/restricted_launcher.exe" 'C:\Program Files\ElvaraSound\Uninstall.exe' /S
expect_eq "no administrator: exit code" "$(cat "$scratch/restricted.rc")" 1
grep -q "needs administrator rights" "$scratch/restricted.err" && pass \
    || fail "no administrator: the user is told ($(cat "$scratch/restricted.err"))"
sleep 1
expect_eq "no administrator: nothing changed" "$(tree_snapshot "$bundle_dir"; tree_snapshot "$product_dir")" "$installed_before"
expect_eq "no administrator: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"

printf 'Someone-Else\n' >"$bundle_dir/Contents/Resources/elvara-product.txt"
bundle_before=$(tree_snapshot "$bundle_dir")
product_before=$(tree_snapshot "$product_dir")
run_capture foreign "$product_dir/Uninstall.exe" /S
expect_eq "foreign bundle: exit code" "$(cat "$scratch/foreign.rc")" 1
grep -q "was not created by the ElvaraSound setup program" "$scratch/foreign.err" && pass \
    || fail "foreign bundle: the user is told ($(cat "$scratch/foreign.err"))"
grep -q "Nothing was removed" "$scratch/foreign.err" && pass || fail "foreign bundle: says that nothing was removed"
expect_eq "foreign bundle: untouched" "$(tree_snapshot "$bundle_dir")" "$bundle_before"
sleep 2 # a self-removal copy, wrongly started, would have acted by now
expect_eq "foreign bundle: product folder untouched" "$(tree_snapshot "$product_dir")" "$product_before"
expect_eq "foreign bundle: entry kept" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"

# ---- no DLL beside the uninstaller is ever loaded
remove_installation
folder=$scratch/planted
mkdir -p "$folder/Uninstall.exe.local"
cp "$build/uninstaller/Uninstall.exe" "$folder/"
for dll in bcrypt dwmapi uxtheme version cryptbase comctl32 dwrite d2d1; do
    cp "$helpers/planted_probe.dll" "$folder/$dll.dll"
    cp "$helpers/planted_probe.dll" "$folder/Uninstall.exe.local/$dll.dll"
done
install_with_perform
cp "$folder"/*.dll "$product_dir/"
run_capture planted "$product_dir/Uninstall.exe" /S
expect_eq "planted: exit code" "$(cat "$scratch/planted.rc")" 0
run_capture planted-copy "$folder/Uninstall.exe" /S
expect_eq "planted: nothing loaded" "$(find "$folder" "$product_dir" -name '*.loaded' 2>/dev/null)" ""
finish
