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

# Not the preview, nor the wizard: refused before anything is drawn or a window opens,
# with the whole exit code (through a Windows caller).
for row in "alone|1|--render-preview needs a file name.|--render-preview" \
           "two paths|1639|Unknown option: b.png|--render-preview a.png b.png" \
           "a switch for a file|1|--render-preview needs a file name.|--render-preview --perform"; do
    IFS='|' read -r name code text arguments <<<"$row"
    rm -f "$scratch/row.rc"
    (cd "$scratch" && timeout 60 "$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" $arguments" \
        "$(winpath "$scratch/row.rc")" >"$scratch/row.out" 2>"$scratch/row.err")
    expect_eq "$name: exit code" "$(tr -d '\r' <"$scratch/row.rc" 2>/dev/null)" "$code"
    expect_eq "$name: standard error" "$(tr -d '\r' <"$scratch/row.err")" "$text"
done
[[ ! -e $scratch/a.png && ! -e $scratch/b.png && ! -e $scratch/--perform ]] && pass || fail "a refused command line rendered"
finish
