#!/bin/bash
# Installs what building and testing need on Debian 12 (as root, or through sudo).
set -euo pipefail
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
          wine wine64 fonts-wine xvfb xdotool imagemagick osslsigncode openssl)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
