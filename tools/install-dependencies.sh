#!/bin/bash
# Installs what building and testing need on Debian 12 (as root, or through sudo).
set -euo pipefail
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix mingw-w64-tools googletest libgtest-dev binutils
          wine wine64 fonts-wine fonts-dejavu-core libgl1-mesa-dri xvfb xdotool imagemagick osslsigncode openssl procps
          python3 python3-jsonschema python3-yaml nsis e2fsprogs gettext locales fonts-noto-cjk)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -q
    # With recommends: Wine needs the Mesa OpenGL drivers that come that way for Direct2D.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
# The locales in which the language tests start Wine (it speaks only built locales).
for locale in de_DE ja_JP; do
    if ! locale -a 2>/dev/null | grep -qix "${locale}.utf-\?8"; then
        sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
        $sudo localedef -i "$locale" -f UTF-8 "${locale}.UTF-8"
    fi
done
