#!/bin/bash
# Proof under stress, on the real executable: killed at many points of an
# installation, two installations at once, and links and foreign folders met at
# install time. Uses a variant of the installer whose package has large entries.
source "$(dirname "$0")/lib.sh"
remove_installation
vst3_dir="$program_files/Common Files/VST3"
trap 'pkill -9 -f ElvaraSoundStress 2>/dev/null; rm -rf "$vst3_dir/OtherVendor.vst3" "$vst3_dir"; remove_installation; cleanup' EXIT

# ---- the large variant: the shipped payload plus 2 x 24 MiB
head -c 25165824 /dev/urandom >"$scratch/samples.bin"
head -c 25165824 /dev/urandom >"$scratch/impulses.bin"
"$build/host-tools/package_writer" --payload "$build/../../resources/payload" --output "$scratch/large.pkg" \
    --contents "$scratch/large-contents" \
    --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$build/generated/package-contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
    --with "Product/Uninstall.exe=$build/generated/package-contents/Product/Uninstall.exe" \
    --with "Product/Samples.bin=$scratch/samples.bin" \
    --with "VST3/ElvaraSound.vst3/Contents/Resources/Impulses.bin=$scratch/impulses.bin"
stress_exe=$scratch/ElvaraSoundStress.exe
cp "$setup_exe" "$stress_exe"
"$wine" "$helpers/replace_resource.exe" "$(winpath "$stress_exe")" "$(winpath "$scratch/large.pkg")"

# Files that are not ours, which no run may touch.
mkdir -p "$vst3_dir/OtherVendor.vst3/Contents"
echo "another vendor's plug-in" >"$vst3_dir/OtherVendor.vst3/Contents/plugin.bin"
foreign_before=$(tree_snapshot "$vst3_dir/OtherVendor.vst3")
working_folders() { ls -d "$vst3_dir"/ElvaraSound.vst3.* "$program_files"/ElvaraSound.* 2>/dev/null | sed "s|$program_files/||"; }

# ---- one full run gives the own installation, and the span of the transaction: from the
# first working folder beside the targets until the last one is gone
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Waits for a working folder that was not there before (killed runs leave theirs behind).
wait_for_working_folder() { # folders-before
    for _ in $(seq 1 3000); do
        [[ -n $(comm -13 <(echo "$1") <(working_folders)) ]] && return 0
        sleep 0.005
    done
    return 1
}
("$wine" "$stress_exe" --perform >/dev/null 2>&1; echo $? >"$scratch/perform.rc") &
wait_for_working_folder "" || fail "the transaction never started"
began=$(now_ms)
while [[ -n $(working_folders) ]]; do sleep 0.005; done
span_ms=$(( $(now_ms) - began ))
window=$(find_setup_window 30) && { wait_for_finished_page "$window" "$scratch/first.png" 60; click_at "$window" $primary_click; }
wait
expect_installed "large installation" "$scratch/large-contents"
echo "transaction span of the large variant over its own installation: ${span_ms} ms"

# ---- killed at spread points of the transaction (staging, swap, clean-up), then run again
kill_points=24
leftovers=0
for i in $(seq 0 $((kill_points - 1))); do
    delay_ms=$(( span_ms * i / (kill_points - 1) ))
    existing=$(working_folders)
    ("$wine" "$stress_exe" --perform >/dev/null 2>&1 &)
    wait_for_working_folder "$existing" || fail "kill $i: the transaction never started"
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    pkill -9 -f ElvaraSoundStress.exe
    sleep 0.3
    expect_eq "kill at +${delay_ms} ms: foreign files" "$(tree_snapshot "$vst3_dir/OtherVendor.vst3")" "$foreign_before"
    left=$(comm -13 <(echo "$existing") <(working_folders) | tr '\n' ' ')
    state="bundle $([[ -e $bundle_dir ]] && echo present || echo absent), product $([[ -e $product_dir ]] && echo present || echo absent)"
    echo "kill at +${delay_ms} ms: $state; working folders: ${left:-none}"
    [[ -n $left ]] && leftovers=$((leftovers + 1))
    install_with_perform "$stress_exe"
    expect_installed "rerun after the kill at +${delay_ms} ms" "$scratch/large-contents"
done
echo "kill points tried: $kill_points; kills that left working folders behind: $leftovers"
echo "working folders on disk at the end: $(working_folders | tr '\n' ' ')"
rm -rf "$vst3_dir"/ElvaraSound.vst3.* "$program_files"/ElvaraSound.*-*

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
