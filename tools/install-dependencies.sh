#!/bin/bash
# Installs what building and testing need on Debian 12 (as root, or through sudo), and
# builds the zstd decoder from Debian's source package (tools/build-zstd-decoder.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix mingw-w64-tools googletest libgtest-dev binutils
          wine wine64 fonts-wine fonts-dejavu-core libgl1-mesa-dri xvfb xdotool imagemagick osslsigncode openssl procps
          python3 python3-jsonschema python3-yaml nsis e2fsprogs gettext locales fonts-noto-cjk libzstd-dev dpkg-dev zstd)
sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
# The source packages of the mirrors that apt already uses (for the zstd decoder).
deb_src=/etc/apt/sources.list.d/elvara-deb-src.sources
updated=no
if [[ ! -f $deb_src ]]; then
    {
        for list in /etc/apt/sources.list.d/*.sources; do
            if [[ -f $list && $list != "$deb_src" ]]; then
                sed -n '/^Types:.*\bdeb\b/,/^$/p' "$list" | sed 's/^Types:.*/Types: deb-src/'
                echo
            fi
        done
        if [[ -f /etc/apt/sources.list ]]; then
            grep -E '^deb ' /etc/apt/sources.list |
                awk '{ print "Types: deb-src\nURIs: " $2 "\nSuites: " $3 "\nComponents: " substr($0, index($0, $4)) "\n" }'
        fi
    } | cat -s | $sudo tee "$deb_src" >/dev/null
    $sudo apt-get update -q
    updated=yes
fi
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
    [[ $updated == yes ]] || $sudo apt-get update -q
    # With recommends: Wine needs the Mesa OpenGL drivers that come that way for Direct2D.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
# The locales in which the language tests start Wine (it speaks only built locales).
for locale in de_DE ja_JP; do
    if ! locale -a 2>/dev/null | grep -qix "${locale}.utf-\?8"; then
        $sudo localedef -i "$locale" -f UTF-8 "${locale}.UTF-8"
    fi
done
"$root/tools/build-zstd-decoder.sh"
