#!/bin/bash
# Builds the zstd decoder that the installer links: Debian's zstd source package at a
# pinned version, only lib/common and lib/decompress, cross-compiled with mingw-w64 at
# -O3 into one static library. The result goes to .deps/zstd-decoder (kept between
# builds; rebuilt when the pinned version changes). Needs a deb-src line for the mirror
# that apt uses: tools/install-dependencies.sh writes one.
set -euo pipefail
version=1.5.4+dfsg2-5 # bookworm's own release of the source package
root=$(cd "$(dirname "$0")/.." && pwd)
out=${ELVARA_ZSTD_DECODER_DIR:-$root/.deps/zstd-decoder}
if [[ -f $out/version && $(cat "$out/version") == "$version" ]]; then exit 0; fi

work=$(mktemp -d /tmp/elvara-zstd.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt downloads as its own user
(cd "$work" && apt-get source -q --download-only "libzstd=$version" >/dev/null &&
    dpkg-source --no-check -x libzstd_*.dsc source >/dev/null)
lib="$work/source/lib"
cc=x86_64-w64-mingw32-gcc-posix
# No assembly (ELF only), no legacy formats, no threads: the installer decodes one
# frame per call on threads of its own. Error strings are not needed: every failure
# becomes the installer's own text.
flags=(-O3 -DNDEBUG -DZSTD_DISABLE_ASM -DZSTD_LEGACY_SUPPORT=0 -DZSTD_STRIP_ERROR_STRINGS -DXXH_NAMESPACE=ZSTD_
       -DZSTD_TRACE=0 -ffunction-sections -fdata-sections "-ffile-prefix-map=$work/source=zstd" -I"$lib" -I"$lib/common")
objects=()
for source in "$lib"/common/*.c "$lib"/decompress/*.c; do
    object="$work/$(basename "${source%.c}").o"
    "$cc" "${flags[@]}" -c "$source" -o "$object"
    objects+=("$object")
done
rm -rf "$out"
mkdir -p "$out/lib" "$out/include"
x86_64-w64-mingw32-ar rcsD "$out/lib/libzstd_decoder.a" "${objects[@]}"
cp "$lib/zstd.h" "$lib/zstd_errors.h" "$out/include/"
cp "$work/source/LICENSE" "$out/LICENSE"
echo "$version" >"$out/version"
echo "zstd decoder $version built into $out"
