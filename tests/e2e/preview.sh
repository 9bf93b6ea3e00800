#!/bin/bash
# The preview mode: one 780 x 560 PNG of the first page, nothing printed; and the
# argument lists that are not the preview mode open the wizard instead.
source "$(dirname "$0")/lib.sh"

out=$scratch/preview.png
run_capture preview "$setup_exe" --render-preview "$(winpath "$out")"
expect_eq "preview: exit code" "$(cat "$scratch/preview.rc")" 0
expect_eq "preview: standard output" "$(cat "$scratch/preview.out")" ""
expect_eq "preview: standard error" "$(cat "$scratch/preview.err")" ""
expect_eq "preview: image size" "$(identify -format '%m %wx%h' "$out" 2>&1)" "PNG 780x560"
expect_colour "preview: primary button" "$out" $primary_probe 177 149 227 12
expect_colour "preview: background" "$out" 770 2 26 24 31 4

echo "not a picture" >"$scratch/existing.png"
run_capture overwrite "$setup_exe" --render-preview "$(winpath "$scratch/existing.png")"
expect_eq "overwrite: exit code" "$(cat "$scratch/overwrite.rc")" 0
expect_eq "overwrite: image size" "$(identify -format '%m %wx%h' "$scratch/existing.png" 2>&1)" "PNG 780x560"

(cd "$scratch" && "$wine" "$setup_exe" --render-preview relative.png >/dev/null 2>&1)
expect_eq "relative path: image size" "$(identify -format '%wx%h' "$scratch/relative.png" 2>&1)" "${design_width}x${design_height}"

run_capture missing "$setup_exe" --render-preview "$(winpath "$scratch/no/such/folder/x.png")"
expect_eq "missing folder: exit code" "$(cat "$scratch/missing.rc")" 1
expect_eq "missing folder: standard error" "$(cat "$scratch/missing.err"; echo x)" $'Graphics unavailable\nx'
expect_eq "missing folder: standard output" "$(cat "$scratch/missing.out")" ""

# Not the preview: the wizard opens on its first page; Escape closes it with 0.
windowed_instead() { # name args...
    local name=$1; shift
    (cd "$scratch" && "$wine" "$setup_exe" "$@" >/dev/null 2>&1; echo $? >"$scratch/$name.rc") &
    local window
    if window=$(find_setup_window 30); then
        pass
        press "$window" Escape
        wait_window_gone "$window" 20 && pass || fail "$name: the window did not close"
    else
        fail "$name: no wizard window"
    fi
    wait
    expect_eq "$name: exit code" "$(cat "$scratch/$name.rc" 2>/dev/null)" 0
}
windowed_instead alone --render-preview
windowed_instead two-paths --render-preview a.png b.png
[[ ! -e $scratch/a.png && ! -e $scratch/b.png ]] && pass || fail "two paths must not render"
finish
