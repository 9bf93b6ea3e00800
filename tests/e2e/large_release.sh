#!/bin/bash
# A release of real size, made by the package writer as the build makes it: 2,000
# entries, factory presets with spaces in their names in five scripts, sample content,
# over 200 MiB decoded. It verifies, installs, updates to a second release with the
# user's own preset carried, and uninstalls; the peak private memory of verification
# and installation stays under 16 MiB.
source "$(dirname "$0")/lib.sh"
remove_installation
trap 'remove_installation; cleanup' EXIT
contents=$build/generated/package-contents
memory_limit=16777216

# Presets: small texts, one folder per script; samples: 8 files of 26 MiB that do not
# compress (as recorded audio barely does), so that the writer takes seconds, not minutes.
payload=$scratch/payload
cp -r "$build/../../resources/payload" "$payload"
python3 - "$payload" <<'PY'
import os, sys
root = sys.argv[1]
folders = ["Factory Presets", "Préréglages d’usine", "Заводские пресеты", "ファクトリー プリセット", "Εργοστασιακές ρυθμίσεις"]
names = ["Warm Pad", "Chaleur été", "Тёплый пэд", "暖かいパッド", "Ζεστό μαξιλάρι"]
count = 2000 - 9 - 8
for i in range(count):
    folder = os.path.join(root, "VST3/ElvaraSound.vst3/Contents/Resources/Presets", folders[i % 5])
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"{names[i % 5]} {i:04d}.vstpreset"), "w", encoding="utf-8") as f:
        f.write("".join(f"param {p} = {(i * 7919 + p * 104729) % 1000 / 1000:.3f}\n" for p in range(40 + i % 60)))
samples = os.path.join(root, "Product/Samples/Grand Piano")
os.makedirs(samples, exist_ok=True)
for i in range(8):
    with open(os.path.join(samples, f"Note {i + 60} ∙ velocity 100.wav"), "wb") as f:
        f.write(os.urandom(26 * 1024 * 1024))
PY

make_release() { # name payload
    "$build/host-tools/package_writer" --payload "$2" --output "$scratch/$1.pkg" --contents "$scratch/$1-contents" \
        --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
        --with "Product/Uninstall.exe=$contents/Product/Uninstall.exe" || fail "$1: the writer refused the payload"
    cp "$setup_exe" "$scratch/$1.exe"
    "$wine" "$helpers/replace_resource.exe" "$(winpath "$scratch/$1.exe")" "$(winpath "$scratch/$1.pkg")"
}
# Each file below a tree with its digest, names with spaces and in any script intact.
digests() { # folder prefix
    (cd "$1" && find . -type f ! -name elvara-installed-files.txt -print0 | sort -z | xargs -0 sha256sum |
        sed "s|  \./|  $2|")
}
expect_release_installed() { # description contents-folder [user's product file...]
    local installed expected user_file
    installed=$( (digests "$bundle_dir" VST3/ElvaraSound.vst3/; digests "$product_dir" Product/) | sort -k2)
    for user_file in "${@:3}"; do installed=$(grep -v -F -- "  Product/$user_file" <<<"$installed"); done
    expected=$(digests "$2" "" | sort -k2)
    expect_eq "$1: every file and its digest" "$(sha256sum <<<"$installed")" "$(sha256sum <<<"$expected")"
    expect_eq "$1: number of files" "$(wc -l <<<"$installed")" 2000
}
peak_of() { # name exe args...: the peak private memory of the run, its output in name.out
    local name=$1; shift
    "$wine" "$build/bench/bench_launch.exe" "$(winpath "$1")" "${@:2}" | tr -d '\r' | tail -1
}

make_release first "$payload"
decoded=$(du -sb --apparent-size "$scratch/first-contents" | cut -f1)
(( decoded > 209715200 )) && pass || fail "the release holds $decoded bytes, not over 200 MiB"
expect_eq "entries" "$(cd "$scratch/first-contents" && find . -type f | wc -l)" 2000

# --verify-only decodes everything and checks both digests of every entry.
run_capture verify "$scratch/first.exe" --verify-only
expect_eq "verify: output" "$(tr -d '\r' <"$scratch/verify.out")" "Verified 2000 embedded files. No changes made."
peak=$(peak_of verify-memory "$scratch/first.exe" --verify-only)
(( peak > 0 && peak < memory_limit )) && pass || fail "verify: peak private memory $peak bytes"

peak=$(peak_of install-memory "$scratch/first.exe" /S)
(( peak > 0 && peak < memory_limit )) && pass || fail "install: peak private memory $peak bytes"
expect_release_installed "install" "$scratch/first-contents"

# The user's own preset among the factory ones, and a factory preset that the user edited.
own="Presets/Заводские пресеты/Мой пэд ∙ вечер.vstpreset"
mkdir -p "$(dirname "$product_dir/$own")"
echo "my own preset" >"$product_dir/$own"
edited="$bundle_dir/Contents/Resources/Presets/ファクトリー プリセット/暖かいパッド 0003.vstpreset"
echo "edited by the user" >"$edited"

# The second release changes a preset, drops one and adds one.
payload2=$scratch/payload2
cp -r "$payload" "$payload2"
echo "param 0 = 0.5" >"$payload2/VST3/ElvaraSound.vst3/Contents/Resources/Presets/Factory Presets/Warm Pad 0000.vstpreset"
rm "$payload2/VST3/ElvaraSound.vst3/Contents/Resources/Presets/Εργοστασιακές ρυθμίσεις/Ζεστό μαξιλάρι 0004.vstpreset"
echo "new" >"$payload2/VST3/ElvaraSound.vst3/Contents/Resources/Presets/Factory Presets/Night Drive.vstpreset"
make_release second "$payload2"
quietly update "$scratch/second.exe" /S
[[ -e "$bundle_dir/Contents/Resources/Presets/Εργοστασιακές ρυθμίσεις/Ζεστό μαξιλάρι 0004.vstpreset" ]] &&
    fail "update: the dropped preset stayed" || pass
expect_eq "update: the user's preset carried" "$(cat "$product_dir/$own" 2>/dev/null)" "my own preset"
expect_eq "update: the edited preset kept beside the new one" \
    "$(cat "${edited%.vstpreset} (yours).vstpreset" 2>/dev/null)" "edited by the user"
expect_eq "update: the new version of a changed preset" \
    "$(cat "$bundle_dir/Contents/Resources/Presets/Factory Presets/Warm Pad 0000.vstpreset")" "param 0 = 0.5"

run_capture uninstall "$product_dir/Uninstall.exe" /S
expect_eq "uninstall: exit code" "$(cat "$scratch/uninstall.rc")" 0
wait_until_gone "$product_dir/Uninstall.exe" 30 || fail "uninstall: the uninstaller stayed"
expect_eq "uninstall: the user's preset stays" "$(cat "$product_dir/$own" 2>/dev/null)" "my own preset"
expect_eq "uninstall: no factory preset stays" \
    "$(find "$bundle_dir" "$product_dir" -name '*.vstpreset' ! -name '*(yours)*' ! -name 'Мой пэд*' 2>/dev/null | wc -l)" 0
expect_eq "uninstall: no sample stays" "$(find "$product_dir" -name '*.wav' 2>/dev/null | wc -l)" 0
finish
