#!/bin/bash
# Two clean builds of the same sources and payload, from copies of the tree in two
# different folders, give byte-identical installers and uninstallers.
set -euo pipefail
source_dir=$(cd "${1:?usage: reproducible.sh SOURCE_DIR}" && pwd)
scratch=$(mktemp -d /tmp/elvara-repro.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
build_copy() { # name
    mkdir -p "$scratch/$1-src"
    (cd "$source_dir" && tar --exclude=./build --exclude=./.git -cf - .) | tar -C "$scratch/$1-src" -xf -
    cmake -S "$scratch/$1-src" -B "$scratch/$1-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$scratch/$1-src/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DELVARA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$scratch/$1-build" >/dev/null
}
build_copy first
build_copy second-in-another-folder
status=0
for file in ElvaraSoundLivewireSetup.exe uninstaller/Uninstall.exe ElvaraSound.vst3 generated/setup.pkg; do
    if cmp "$scratch/first-build/$file" "$scratch/second-in-another-folder-build/$file"; then
        echo "ok: $file is identical ($(sha256sum <"$scratch/first-build/$file" | cut -c1-16))"
    else
        echo "FAIL: $file differs between the two builds"
        status=1
    fi
done
exit $status
