#!/bin/bash
# A blind user installs the plug-in with a screen reader: a client in its own process
# reads every page through MSAA and drives the wizard with default actions only; then
# a standard user does so for themselves alone, through the "only for me" checkbox.
# The reader holds the install worker (found by its thread name) while it reads the
# Installing page, rather than race it; the package has two large entries besides the
# shipped payload (near the format's limit), so that the worker is still verifying it
# when the hold begins.
source "$(dirname "$0")/lib.sh"
remove_installation
remove_user_installation
trap 'remove_installation; remove_user_installation; cleanup' EXIT

head -c 32505856 /dev/urandom >"$scratch/samples.bin"
head -c 32505856 /dev/urandom >"$scratch/impulses.bin"
contents=$build/generated/package-contents
"$build/host-tools/package_writer" --payload "$build/../../resources/payload" --output "$scratch/large.pkg" \
    --contents "$scratch/large-contents" \
    --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
    --with "Product/Uninstall.exe=$contents/Product/Uninstall.exe" \
    --with "Product/Samples.bin=$scratch/samples.bin" \
    --with "VST3/ElvaraSound.vst3/Contents/Resources/Impulses.bin=$scratch/impulses.bin"
rm -f "$scratch/samples.bin" "$scratch/impulses.bin"
exe=$scratch/ElvaraSoundLivewireSetup.exe
cp "$setup_exe" "$exe"
"$wine" "$helpers/replace_resource.exe" "$(winpath "$exe")" "$(winpath "$scratch/large.pkg")"
rm -f "$scratch/large.pkg"

("$wine" "$exe" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
background_pids+=($!)
find_setup_window 30 >/dev/null || { fail "no setup window"; finish; }
"$wine" "$helpers/screen_reader.exe" install 2>&1 | tr -d '\r' | tee "$scratch/reader.log"
grep -q '^FAIL' "$scratch/reader.log" && fail "the screen reader's checks (above)" || pass
grep -q '^0 failed$' "$scratch/reader.log" && pass || fail "the screen reader did not finish"
wait
expect_eq "exit code" "$(cat "$scratch/setup.rc")" 0
expect_installed "installation through MSAA" "$scratch/large-contents"
remove_installation

("$wine" "$helpers/restricted_launcher.exe" "$(winpath "$exe")" >/dev/null 2>&1; echo $? >"$scratch/setup.rc") &
background_pids+=($!)
find_setup_window 30 >/dev/null || { fail "for me: no setup window"; finish; }
"$wine" "$helpers/screen_reader.exe" install-for-me 2>&1 | tr -d '\r' | tee "$scratch/reader-for-me.log"
grep -q '^FAIL' "$scratch/reader-for-me.log" && fail "for me: the screen reader's checks (above)" || pass
grep -q '^0 failed$' "$scratch/reader-for-me.log" && pass || fail "for me: the screen reader did not finish"
wait
expect_eq "for me: exit code" "$(cat "$scratch/setup.rc")" 0
in_user_scope expect_installed "for me, through MSAA" "$scratch/large-contents"
[[ ! -e $bundle_dir && ! -e $product_dir ]] && pass || fail "for me: something under Program Files"
finish
