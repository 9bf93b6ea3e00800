#!/bin/bash
# Installs what building and testing need on Debian 12 (as root, or through sudo).
set -euo pipefail
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix mingw-w64-tools googletest libgtest-dev binutils
          wine wine64 fonts-wine fonts-dejavu-core libgl1-mesa-dri xvfb xdotool imagemagick osslsigncode openssl procps
          python3 python3-jsonschema python3-yaml nsis e2fsprogs)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -q
    # With recommends: Wine needs the Mesa OpenGL drivers that come that way for Direct2D.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
