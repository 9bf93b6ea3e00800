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
case_of "space in a name" 'Product/read me.txt' 'echo x >"$scratch/p/Product/read me.txt"'
case_of "name rule named" 'use only a-z A-Z 0-9' 'echo x >"$scratch/p/Product/read me.txt"'
case_of "outside both trees" 'Other/x.txt' 'mkdir -p "$scratch/p/Other" && echo x >"$scratch/p/Other/x.txt"'
case_of "the product's installation record" 'reserved for the installer' \
    'echo x >"$scratch/p/Product/ELVARA-installed-files.txt"'
case_of "the bundle's installation record" 'Contents/Resources/elvara-installed-files.txt' \
    'echo x >"$scratch/p/VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt"'
case_of "two full stops" 'Product/a..txt' 'echo x >"$scratch/p/Product/a..txt"'
case_of "marker with CR LF" 'install-marker.txt: an ownership marker must be exactly' \
    'printf "ElvaraSound-Livewire-CF9A52D3-v1\r\n" >"$scratch/p/Product/install-marker.txt"'
case_of "missing required marker" 'required file "VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt"' \
    'rm "$scratch/p/VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt"'
case_of "an entry over 64 MiB" 'larger than the 64 MiB entry limit' \
    'head -c 67108865 /dev/zero >"$scratch/p/Product/huge.bin"'
case_of "over 64 MiB in total" 'exceeds 64 MiB in total' \
    'head -c 40000000 /dev/zero >"$scratch/p/Product/a.bin"; head -c 40000000 /dev/zero >"$scratch/p/Product/b.bin"'
case_of "names differing only in letter case" 'the same name as "Product/README.txt" when letter case is ignored' \
    'echo x >"$scratch/p/Product/readme.txt"'
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

# The good payload still makes a package.
checks=$((checks + 1))
if "$writer" --payload "$payload" --output "$scratch/good.pkg" "${binaries[@]}"; then echo "ok: good payload"; else
    failures=$((failures + 1)); echo "FAIL: the shipped payload was refused"; fi
echo "$((checks - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
