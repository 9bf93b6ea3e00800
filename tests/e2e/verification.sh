#!/bin/bash
# The verification mode of the real executable, with its own package and with
# copies whose package resource was damaged or removed.
source "$(dirname "$0")/lib.sh"

verified=$'Verified 9 embedded files. No changes made.\n'
check_verified() { # name args...
    local name=$1; shift
    run_capture "$name" "$setup_exe" "$@"
    expect_eq "$name: standard output" "$(cat "$scratch/$name.out"; echo x)" "${verified}x"
    expect_eq "$name: standard error" "$(cat "$scratch/$name.err")" ""
    expect_eq "$name: exit code" "$(cat "$scratch/$name.rc")" 0
}
check_verified alone --verify-only
check_verified after-preview --render-preview "$(winpath "$scratch/never.png")" --verify-only
check_verified with-perform --perform --verify-only
# Words that the program does not know are refused before the verification too (the
# shell sees 103, the low byte of 1639).
run_capture between-words "$setup_exe" x --verify-only y
expect_eq "between-words: standard output" "$(cat "$scratch/between-words.out")" ""
expect_eq "between-words: standard error" "$(cat "$scratch/between-words.err")" "Unknown option: x"
expect_eq "between-words: exit code" "$(cat "$scratch/between-words.rc")" 103
[[ ! -e $scratch/never.png ]] && pass || fail "verification must not render a preview"

# Damaged packages, each in its own copy of the executable.
package=$build/generated/setup.pkg
size=$(stat -c %s "$package")
flip_byte() { # file offset
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((byte ^ 0x20)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
make_variant() { # name -> writes $scratch/name.pkg from the shipped package
    cp "$package" "$scratch/$1.pkg"
}
make_variant seven; head -c 7 "$package" >"$scratch/seven.pkg"
make_variant magic; printf 'ElvPkg03' | dd of="$scratch/magic.pkg" conv=notrunc status=none
make_variant older; printf 'ElvPkg01' | dd of="$scratch/older.pkg" conv=notrunc status=none
make_variant data; flip_byte "$scratch/data.pkg" $((size - 1))
# The first entry, Product/EULA.txt: name length, name, size, then the digest of its
# stored bytes and the digest of its decoded bytes.
make_variant digest; flip_byte "$scratch/digest.pkg" $((12 + 2 + 16 + 8 + 3))
make_variant decoded-digest; flip_byte "$scratch/decoded-digest.pkg" $((12 + 2 + 16 + 8 + 32 + 3))
make_variant trailing; printf '\0' >>"$scratch/trailing.pkg"
make_variant short; head -c $((size - 1)) "$package" >"$scratch/short.pkg"
make_variant count; printf '\0\0\001\0' | dd of="$scratch/count.pkg" bs=1 seek=8 conv=notrunc status=none

check_damaged() { # name expected-text [package|--delete]
    local exe=$scratch/$1.exe
    cp "$setup_exe" "$exe"
    "$wine" "$helpers/replace_resource.exe" "$(winpath "$exe")" "${3:-$(winpath "$scratch/$1.pkg")}" \
        || { fail "$1: could not replace the resource"; return; }
    run_capture "$1" "$exe" --verify-only
    expect_eq "$1: standard output" "$(cat "$scratch/$1.out")" ""
    expect_eq "$1: standard error" "$(cat "$scratch/$1.err"; echo x)" "$2"$'\n'"x"
    expect_eq "$1: exit code" "$(cat "$scratch/$1.rc")" 1
}
check_damaged seven "Incomplete installer package"
check_damaged magic "Invalid installer package"
check_damaged older "Installer package of an older format"
check_damaged data "Installer integrity check failed"
check_damaged digest "Installer integrity check failed"
check_damaged decoded-digest "Installer integrity check failed"
check_damaged trailing "Unexpected installer data"
check_damaged short "Installer integrity check failed" # the last frame's size exceeds what remains
check_damaged count "Installer file count"
check_damaged missing "Installer package missing" --delete
finish
