#!/bin/bash
# Prepares a private Wine prefix for the tests: Windows 10, Tahoma registered as
# the dependable Latin font (DirectWrite needs one to fall back to), DejaVu Sans for the
# characters that Tahoma lacks (arrows), Noto Sans CJK for Japanese, Chinese and Korean
# (copied files alone are not enough: each is registered), no debugger.
# Usage: prepare-wine-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: prepare-wine-prefix.sh PREFIX}
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
fonts=$prefix/drive_c/windows/Fonts
ready=$prefix/.elvara-ready-cjk-dejavu
if [[ -f $ready ]]; then exit 0; fi
mkdir -p "$prefix"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
"$wine" wineboot --init >/dev/null 2>&1
"$wine" winecfg -v win10 >/dev/null 2>&1
mkdir -p "$fonts"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$fonts/"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf "$fonts/"
cjk=/usr/share/fonts/opentype/noto
cp "$cjk/NotoSansCJK-Regular.ttc" "$cjk/NotoSansCJK-Bold.ttc" "$fonts/"
reg=$(mktemp --suffix=.reg)
cat > "$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]
"Tahoma (TrueType)"="tahoma.ttf"
"Tahoma Bold (TrueType)"="tahomabd.ttf"
"DejaVu Sans (TrueType)"="DejaVuSans.ttf"
"DejaVu Sans Bold (TrueType)"="DejaVuSans-Bold.ttf"
"Noto Sans CJK JP & Noto Sans CJK KR & Noto Sans CJK SC & Noto Sans CJK TC (TrueType)"="NotoSansCJK-Regular.ttc"
"Noto Sans CJK JP Bold & Noto Sans CJK KR Bold & Noto Sans CJK SC Bold & Noto Sans CJK TC Bold (TrueType)"="NotoSansCJK-Bold.ttc"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
"$wine" regedit /S "$("$wine" winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$reg"
"$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -w
touch "$ready"
