#!/bin/bash
# Signing with a throwaway self-signed certificate: the installer, the uninstaller and
# the placeholder module carry valid Authenticode signatures, the package holds the
# signed files, and the signed installer still verifies its package under Wine.
set -euo pipefail
source_dir=$(cd "${1:?usage: signing.sh SOURCE_DIR BUILD_DIR}" && pwd)
test_build=$(cd "${2:?usage: signing.sh SOURCE_DIR BUILD_DIR}" && pwd)
scratch=$(mktemp -d /tmp/elvara-sign.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=ElvaraSound Test Signing" \
    -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
export ELVARA_SIGN_PASSWORD="throwaway-$RANDOM"
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/signing.pfx" \
    -passout env:ELVARA_SIGN_PASSWORD

cmake -S "$source_dir" -B "$scratch/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DELVARA_BUILD_TESTS=OFF -DELVARA_SIGN_PFX="$scratch/signing.pfx" >/dev/null
cmake --build "$scratch/build" >/dev/null
if grep -rq "$ELVARA_SIGN_PASSWORD" "$scratch/build"; then echo "FAIL: the password is in the build tree"; exit 1; fi

status=0
for file in ElvaraSoundLivewireSetup.exe uninstaller/Uninstall.exe ElvaraSound.vst3 \
            generated/package-contents/Product/Uninstall.exe \
            generated/package-contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3; do
    if osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/build/$file" >"$scratch/verify.log" 2>&1; then
        echo "ok: $file is signed"
    else
        echo "FAIL: $file: $(tail -3 "$scratch/verify.log")"
        status=1
    fi
done

source "$test_build/test-env.sh"
line=$("$(command -v wine64 || echo /usr/lib/wine/wine64)" "$scratch/build/ElvaraSoundLivewireSetup.exe" --verify-only)
if [[ $line == "Verified 9 embedded files. No changes made." ]]; then echo "ok: $line"; else
    echo "FAIL: the signed installer printed [$line]"; status=1; fi
exit $status
