#!/bin/bash
# Proof under stress, on the real executable: killed at many points of an
# installation, two installations at once, and links and foreign folders met at
# install time. Uses a variant of the installer whose package has large entries.
source "$(dirname "$0")/lib.sh"
remove_installation
vst3_dir="$program_files/Common Files/VST3"
trap 'cleanup; rm -rf "$vst3_dir/OtherVendor.vst3" "$vst3_dir"; remove_installation' EXIT

# ---- the large variant: the shipped package's names, two of them with 24 MiB each (the
# uninstaller knows the names of the shipped package, so it can remove this one too)
head -c 25165824 /dev/urandom >"$scratch/samples.bin"
head -c 25165824 /dev/urandom >"$scratch/impulses.bin"
"$build/host-tools/package_writer" --payload "$build/../../resources/payload" --output "$scratch/large.pkg" \
    --contents "$scratch/large-contents" \
    --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$build/generated/package-contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
    --with "Product/Uninstall.exe=$build/generated/package-contents/Product/Uninstall.exe" \
    --with "Product/THIRD-PARTY-NOTICES.txt=$scratch/samples.bin" \
    --with "VST3/ElvaraSound.vst3/Contents/Resources/moduleinfo.json=$scratch/impulses.bin"
stress_exe=$scratch/ElvaraSoundStress.exe
cp "$setup_exe" "$stress_exe"
"$wine" "$helpers/replace_resource.exe" "$(winpath "$stress_exe")" "$(winpath "$scratch/large.pkg")"

# Files that are not ours, which no run may touch.
mkdir -p "$vst3_dir/OtherVendor.vst3/Contents"
echo "another vendor's plug-in" >"$vst3_dir/OtherVendor.vst3/Contents/plugin.bin"
foreign_before=$(tree_snapshot "$vst3_dir/OtherVendor.vst3")
working_folders() {
    ls -d "$program_files/Common Files"/ElvaraSound.vst3.* "$vst3_dir"/ElvaraSound.vst3.* "$program_files"/ElvaraSound.* 2>/dev/null |
        sed "s|$program_files/||"
}
# What a plug-in host that scans the VST3 folder through and through would load besides
# the installed plug-in: it must find none.
stray_modules() { (cd "$vst3_dir" && find . -name '*.vst3' -type f | grep -v '^\./ElvaraSound\.vst3/'); }

# ---- one full run gives the own installation; a reinstall gives the span of the
# transaction: from the first working folder beside the targets until the last one is gone
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Waits for a working folder that was not there before (killed runs leave theirs behind).
wait_for_working_folder() { # folders-before
    for _ in $(seq 1 3000); do
        [[ -n $(comm -13 <(echo "$1") <(working_folders)) ]] && return 0
        sleep 0.005
    done
    return 1
}
install_with_perform "$stress_exe"
expect_installed "large installation" "$scratch/large-contents"
# The user's own files, which every run must keep at their own paths.
user_file="Presets/Mine/warm.preset"
mkdir -p "$product_dir/Presets/Mine"
echo "a user's preset" >"$product_dir/$user_file"
expect_user_file() { expect_eq "$1: the user's file at its own path" "$(cat "$product_dir/$user_file" 2>&1)" "a user's preset"; }

# The shortest of three reinstalls, so that the kill points fall inside the transaction.
span_ms=999999
for run in 1 2 3; do
    "$wine" "$stress_exe" --perform >/dev/null 2>&1 &
    perform_pid=$!
    background_pids+=("$perform_pid")
    wait_for_working_folder "" || fail "the transaction never started"
    began=$(now_ms)
    while [[ -n $(working_folders) ]]; do sleep 0.005; done
    (( $(now_ms) - began < span_ms )) && span_ms=$(( $(now_ms) - began ))
    window=$(find_setup_window 30) && { wait_for_finished_page "$window" "$scratch/first.png" 60; click_at "$window" $primary_click; }
    wait "$perform_pid"
    expect_installed "reinstall $run over a user's file" "$scratch/large-contents" "$user_file"
    expect_user_file "reinstall $run"
    expect_eq "reinstall $run: no working folders" "$(working_folders)" ""
done
echo "transaction span of the large variant over its own installation: ${span_ms} ms"

# ---- killed at spread points of the transaction (recovery, staging, swap, clean-up),
# each followed by a normal run, which must put everything right
kill_points=24
points=""
for i in $(seq 0 $((kill_points - 1))); do points+="$(( span_ms * i / (kill_points - 1) )) "; done
echo "kill points, ms after the first new working folder: $points"
leftovers=0
for delay_ms in $points; do
    existing=$(working_folders)
    "$wine" "$stress_exe" --perform >/dev/null 2>&1 &
    perform_pid=$!
    background_pids+=("$perform_pid")
    wait_for_working_folder "$existing" || fail "kill at +${delay_ms} ms: the transaction never started"
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    kill -9 "$perform_pid" 2>/dev/null
    wait "$perform_pid" 2>/dev/null
    sleep 0.3
    expect_eq "kill at +${delay_ms} ms: foreign files" "$(tree_snapshot "$vst3_dir/OtherVendor.vst3")" "$foreign_before"
    expect_eq "kill at +${delay_ms} ms: modules a host would find besides ours" "$(stray_modules)" ""
    left=$(working_folders | tr '\n' ' ')
    state="bundle $([[ -e $bundle_dir ]] && echo present || echo absent), product $([[ -e $product_dir ]] && echo present || echo absent)"
    echo "kill at +${delay_ms} ms: $state; working folders: ${left:-none}"
    [[ -n $left ]] && leftovers=$((leftovers + 1))
    install_with_perform "$stress_exe"
    expect_installed "rerun after the kill at +${delay_ms} ms" "$scratch/large-contents" "$user_file"
    expect_user_file "rerun after the kill at +${delay_ms} ms"
    expect_eq "rerun after the kill at +${delay_ms} ms: working folders" "$(working_folders)" ""
done
echo "kill points tried: $kill_points; kills that left working folders behind: $leftovers"

# ---- a file link in place of a package file points at a decoy outside the product:
# the reinstall, its recovery and the uninstall all leave the decoy intact
echo "a user's file outside the product" >"$scratch/decoy.txt"
rm "$product_dir/README.txt"
ln -s "$scratch/decoy.txt" "$product_dir/README.txt"
install_with_perform "$stress_exe"
expect_eq "link: decoy after the reinstall" "$(cat "$scratch/decoy.txt" 2>&1)" "a user's file outside the product"
expect_installed "link: reinstall" "$scratch/large-contents" "$user_file"
install_with_perform "$stress_exe" # its recovery meets the link again
expect_eq "link: decoy after the recovery" "$(cat "$scratch/decoy.txt" 2>&1)" "a user's file outside the product"
expect_user_file "link"

# ---- the uninstall leaves nothing of ours: the user's file stays, with its folders
run_capture uninstall "$product_dir/Uninstall.exe" /S
for _ in $(seq 1 150); do [[ -e $product_dir/Uninstall.exe ]] || break; sleep 0.1; done
expect_eq "uninstall: decoy" "$(cat "$scratch/decoy.txt" 2>&1)" "a user's file outside the product"
expect_eq "uninstall: bundle folder" "$([[ -e $bundle_dir ]] && echo present)" ""
# (a folder that keeps a user's file keeps its marker and record, so that Setup and the uninstaller can work in it again)
expect_eq "uninstall: what stays of the product folder" "$(cd "$product_dir" 2>/dev/null && find . -type f | sort)" \
    "$(printf '%s\n' "./$user_file" ./install-marker.txt ./elvara-installed-files.txt | sort)"
expect_eq "uninstall: uninstall entry" "$(registry_value DisplayName)" ""
# The link's working folder is not ours to empty: the link cannot be deleted without its target.
expect_eq "uninstall: working folders" "$(working_folders | grep -v '^ElvaraSound\.rollback-')" ""
rm -rf "$program_files/Common Files"/ElvaraSound.vst3.* "$vst3_dir"/ElvaraSound.vst3.* "$program_files"/ElvaraSound.*-*
remove_installation

# ---- two installations at once: at most one succeeds, the result is whole
("$wine" "$stress_exe" --perform >/dev/null 2>&1; echo $? >"$scratch/first.rc") &
("$wine" "$stress_exe" --perform >/dev/null 2>&1; echo $? >"$scratch/second.rc") &
both=""
for _ in $(seq 1 300); do
    both=$(xdotool search --onlyvisible --name '^ElvaraSound .. Setup$' 2>/dev/null)
    [[ $(echo "$both" | grep -c .) -ge 2 ]] && break
    sleep 0.1
done
for w in $both; do
    wait_for_finished_page "$w" "$scratch/concurrent-$w.png" 90 || fail "concurrent: no Finished page"
done
for w in $both; do click_at "$w" $primary_click; done
wait
successes=0
for rc in "$(cat "$scratch/first.rc")" "$(cat "$scratch/second.rc")"; do [[ $rc == 0 ]] && successes=$((successes + 1)); done
echo "two at once: exit codes $(cat "$scratch/first.rc") and $(cat "$scratch/second.rc")"
(( successes <= 1 )) && pass || fail "two installations at once both succeeded"
if (( successes == 1 )); then expect_installed "after two at once" "$scratch/large-contents"; fi
expect_eq "two at once: foreign files" "$(tree_snapshot "$vst3_dir/OtherVendor.vst3")" "$foreign_before"
expect_eq "two at once: no working folders" "$(working_folders)" ""

# ---- links and foreign folders at install time: refused, the disk unchanged byte for byte
refused_case() { # title expected-text
    local before after window
    before=$(tree_snapshot "$program_files")
    ("$wine" "$setup_exe" --perform >/dev/null 2>&1; echo $? >"$scratch/refused.rc") &
    window=$(find_setup_window 30) || { fail "$1: no window"; return; }
    wait_for_finished_page "$window" "$scratch/refused.png" 60 || fail "$1: no Finished page"
    expect_result_text "$1" "$scratch/refused.png" "$2"
    click_at "$window" $primary_click
    wait
    expect_eq "$1: exit code" "$(cat "$scratch/refused.rc")" 1
    expect_eq "$1: disk unchanged" "$(tree_snapshot "$program_files")" "$before"
}
link_text="Installation folder contains a link. Choose a normal Windows installation."
remove_installation
mv "$vst3_dir" "$scratch/real-vst3"
ln -s "$scratch/real-vst3" "$vst3_dir"
refused_case "VST3 folder is a link" "$link_text"
rm "$vst3_dir"
mv "$scratch/real-vst3" "$vst3_dir"

mkdir -p "$scratch/elsewhere.vst3"
ln -s "$scratch/elsewhere.vst3" "$bundle_dir"
refused_case "bundle folder is a link" "$link_text"
rm "$bundle_dir"

mkdir -p "$bundle_dir/Contents"
echo "not ours" >"$bundle_dir/Contents/readme.txt"
refused_case "foreign bundle folder" \
    "The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten."
rm -rf "$bundle_dir"

mkdir -p "$product_dir"
echo "not ours" >"$product_dir/data.txt"
refused_case "foreign product folder" \
    "The existing product folder is not an ElvaraSound installation. It will not be overwritten."
finish
