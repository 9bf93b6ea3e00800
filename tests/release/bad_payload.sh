#!/bin/bash
# The package writer refuses every payload that the installer would refuse, naming
# the file and the rule, so a bad payload stops the build before the installer exists.
set -uo pipefail
writer=${1:?usage: bad_payload.sh PACKAGE_WRITER PAYLOAD_DIR}
payload=${2:?usage: bad_payload.sh PACKAGE_WRITER PAYLOAD_DIR}
scratch=$(mktemp -d /tmp/elvara-payload.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0 checks=0
binaries=(--with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$payload/Product/EULA.txt"
          --with "Product/Uninstall.exe=$payload/Product/EULA.txt")

case_of() { # title expected-fragment setup-command
    local title=$1 expected=$2
    rm -rf "$scratch/p" "$scratch/out.pkg"
    cp -r "$payload" "$scratch/p"
    eval "$3"
    local message
    message=$("$writer" --payload "$scratch/p" --output "$scratch/out.pkg" "${binaries[@]}" 2>&1)
    local rc=$?
    checks=$((checks + 1))
    if [[ $rc -ne 0 && $message == *"$expected"* && ! -e $scratch/out.pkg ]]; then
        echo "ok: $title: $message"
    else
        failures=$((failures + 1))
        echo "FAIL: $title: exit $rc, message [$message], expected to contain [$expected]"
    fi
}
case_of "a trailing space" 'Product/read me.txt ' 'echo x >"$scratch/p/Product/read me.txt "'
case_of "trailing space rule named" 'may end in a full stop or a space' 'mkdir "$scratch/p/Product/Pads " && echo x >"$scratch/p/Product/Pads /a.txt"'
case_of "a character Windows cannot hold" 'Product/a?b.txt' 'echo x >"$scratch/p/Product/a?b.txt"'
case_of "name rule named" 'none of < > :' 'echo x >"$scratch/p/Product/a|b.txt"'
case_of "a control character" 'no control characters' 'echo x >"$scratch/p/Product/a"$'"'\\t'"'"b.txt"'
case_of "not UTF-8" 'names must be UTF-8' 'echo x >"$scratch/p/Product/caf"$'"'\\xe9'"'".txt"'
case_of "a name longer than the install folders take" '239 UTF-16 units' \
    'mkdir -p "$scratch/p/Product/$(printf "%0200d" 0)" && echo x >"$scratch/p/Product/$(printf "%0200d" 0)/$(printf "%040d" 0)"'
case_of "outside both trees" 'Other/x.txt' 'mkdir -p "$scratch/p/Other" && echo x >"$scratch/p/Other/x.txt"'
case_of "the product's installation record" 'reserved for the installer' \
    'echo x >"$scratch/p/Product/ELVARA-installed-files.txt"'
case_of "the bundle's installation record" 'Contents/Resources/elvara-installed-files.txt' \
    'echo x >"$scratch/p/VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt"'
case_of "marker with CR LF" 'install-marker.txt: an ownership marker must be exactly' \
    'printf "ElvaraSound-Livewire-CF9A52D3-v1\r\n" >"$scratch/p/Product/install-marker.txt"'
case_of "missing required marker" 'required file "VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt"' \
    'rm "$scratch/p/VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt"'
case_of "over 4 GiB in total" 'exceeds 4294967296 bytes (4 GiB) in total' \
    'truncate -s 3000000000 "$scratch/p/Product/a.bin"; truncate -s 1300000000 "$scratch/p/Product/b.bin"'
case_of "names differing only in letter case" 'the same name as "Product/README.txt" when letter case is ignored' \
    'echo x >"$scratch/p/Product/readme.txt"'
case_of "names differing only in letter case outside ASCII" 'when letter case is ignored' \
    'echo x >"$scratch/p/Product/Ärger Δ.txt"; echo y >"$scratch/p/Product/ärger δ.txt"'
case_of "a name ending in a full stop" 'Product/X.' 'echo x >"$scratch/p/Product/X."'
case_of "a folder ending in a full stop" 'Product/docs./a.txt' 'mkdir "$scratch/p/Product/docs." && echo x >"$scratch/p/Product/docs./a.txt"'
case_of "a device name" 'Product/NUL"' 'echo x >"$scratch/p/Product/NUL"'
case_of "a device name with an extension, lower case" 'Product/nul.txt' 'echo x >"$scratch/p/Product/nul.txt"'
case_of "a device name as a folder" 'Product/com7/a.txt' 'mkdir "$scratch/p/Product/com7" && echo x >"$scratch/p/Product/com7/a.txt"'
case_of "device names refused by rule" 'no device name' 'echo x >"$scratch/p/Product/Lpt1.log"'
case_of "a licence that is not UTF-8" 'Product/EULA.txt: the licence must be UTF-8; invalid byte at offset 8' \
    'printf "Licence \xe9 text\n" >"$scratch/p/Product/EULA.txt"'
case_of "a licence with a UTF-16 surrogate in UTF-8" 'invalid byte at offset 2' \
    'printf "ok\xed\xa0\x80\n" >"$scratch/p/Product/EULA.txt"'
case_of "a link in the payload" 'links are not allowed' 'ln -s README.txt "$scratch/p/Product/link.txt"'

# A package that would make the installer 2 GiB or larger stops the build, naming the limit.
checks=$((checks + 1))
rm -rf "$scratch/p" "$scratch/out.pkg" && cp -r "$payload" "$scratch/p" && truncate -s 2200000000 "$scratch/p/Product/big.bin"
message=$("$writer" --payload "$scratch/p" --output "$scratch/out.pkg" --level 0 "${binaries[@]}" 2>&1)
if [[ $? -ne 0 && $message == *"2 GiB that Windows loads at most"* && ! -e $scratch/out.pkg ]]; then
    echo "ok: an installer of 2 GiB: $message"
else
    failures=$((failures + 1)); echo "FAIL: an installer of 2 GiB: [$message]"
fi

# Names with spaces and in several scripts are packaged.
checks=$((checks + 1))
rm -rf "$scratch/p" && cp -r "$payload" "$scratch/p" && mkdir -p "$scratch/p/Product/Presets/Гармония" &&
    echo a >"$scratch/p/Product/Presets/Warm Pad.vstpreset" && echo b >"$scratch/p/Product/Presets/Гармония/音色 1.vstpreset"
if "$writer" --payload "$scratch/p" --output "$scratch/names.pkg" "${binaries[@]}"; then echo "ok: names in several scripts"; else
    failures=$((failures + 1)); echo "FAIL: names with spaces and in several scripts were refused"; fi

# The good payload still makes a package.
checks=$((checks + 1))
if "$writer" --payload "$payload" --output "$scratch/good.pkg" "${binaries[@]}"; then echo "ok: good payload"; else
    failures=$((failures + 1)); echo "FAIL: the shipped payload was refused"; fi
echo "$((checks - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
