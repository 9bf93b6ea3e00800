# Shared by the end-to-end tests: the Wine environment of the run, a scratch
# folder, and small checks that count failures instead of stopping at the first.
set -uo pipefail
setup_exe=$(realpath "${1:?usage: TEST.sh SETUP_EXE BUILD_DIR}")
build=$(realpath "${2:?usage: TEST.sh SETUP_EXE BUILD_DIR}")
source "$build/test-env.sh"
source "$build/generated/layout.sh" # clicks and probes from the program's own layout
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
helpers=$build/tests
scratch=$(mktemp -d /tmp/elvara-e2e.XXXXXX)
failures=0
checks=0
background_pids=()
cleanup() {
    for pid in "${background_pids[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT

winpath() { local p=$1; echo "Z:${p//\//\\}"; }
pass() { checks=$((checks + 1)); }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); echo "FAIL: $*" >&2; }
# Every byte visible: a CR shows as ^M, a line's end as $, other control bytes as ^X.
visible_bytes() { printf '%s' "$1" | cat -A; }
expect_eq() { # description actual expected
    if [[ $2 == "$3" ]]; then pass; else fail "$1: got [$(visible_bytes "$2")], expected [$(visible_bytes "$3")]"; fi
}
finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [[ $failures -eq 0 ]]
    exit $?
}

# Runs the program, capturing standard output, standard error and the exit code.
run_capture() { # name exe args...
    local name=$1; shift
    "$wine" "$@" >"$scratch/$name.out" 2>"$scratch/$name.err"
    echo $? >"$scratch/$name.rc"
}
# The same, expecting exit code 0.
quietly() { # name exe args...
    local name=$1; shift
    run_capture "$name" "$@"
    expect_eq "$name: exit code" "$(cat "$scratch/$name.rc")" 0
}

# "r g b" of a pixel of a PNG.
pixel() { # file x y
    convert "$1" -format "%[fx:round(255*p{$2,$3}.r)] %[fx:round(255*p{$2,$3}.g)] %[fx:round(255*p{$2,$3}.b)]" info:
}
expect_colour() { # description file x y r g b tolerance
    local got r g b
    got=$(pixel "$2" "$3" "$4")
    read -r r g b <<<"$got"
    if (( ${r:-999} - $5 <= $8 && $5 - ${r:-999} <= $8 && ${g:-999} - $6 <= $8 && $6 - ${g:-999} <= $8 &&
          ${b:-999} - $7 <= $8 && $7 - ${b:-999} <= $8 )); then
        pass
    else
        fail "$1: pixel ($3, $4) is ($got), expected ($5 $6 $7) within $8"
    fi
}
# Pixels in a box whose brightest channel reaches the threshold.
bright_pixels() { # file x y width height threshold
    convert "$1" -crop "$4x$5+$2+$3" +repage -channel RGB -separate -evaluate-sequence max \
        -threshold "$(( $6 * 100 / 255 ))%" -format "%[fx:round(mean*w*h)]" info:
}

# The setup window: "ElvaraSound · Setup" (the middle dot is two bytes for xdotool).
find_setup_window() { # [timeout seconds]
    local limit=${1:-30} id
    for _ in $(seq 1 $((limit * 10))); do
        id=$(xdotool search --name '^ElvaraSound .. Setup$' 2>/dev/null | head -1)
        if [[ -n $id ]] && xdotool getwindowgeometry "$id" >/dev/null 2>&1; then
            # Mapped: wait for the first frame (the background is never black) to reach
            # the screen, which takes longer on a loaded machine.
            local first_frame=$scratch/first-frame-$id.png
            for _ in $(seq 1 50); do
                import -window "$id" "$first_frame" 2>/dev/null &&
                    [[ $(pixel "$first_frame" $((design_width - 10)) 2) != "0 0 0" ]] && break
                sleep 0.2
            done
            sleep 0.3
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
wait_window_gone() { # id [timeout seconds]
    for _ in $(seq 1 $((${2:-30} * 10))); do
        xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
screenshot() { # window file
    xdotool windowraise "$1" 2>/dev/null
    sleep 0.4 # let a repaint after input reach the screen
    import -window "$1" "$2" 2>/dev/null
}
# Windows of two wizards may overlap: raise the one meant before reading or clicking it.
click_at() { xdotool windowraise "$1" 2>/dev/null; xdotool mousemove --window "$1" "$2" "$3" click 1; }
press() { # window key...
    local window=$1; shift
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 0.3
    for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.15; done
}

# The real install folders and uninstall key of the prefix.
program_files=$WINEPREFIX/drive_c/Program\ Files
bundle_dir="$program_files/Common Files/VST3/ElvaraSound.vst3"
product_dir="$program_files/ElvaraSound"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ElvaraSound-Livewire'
remove_installation() {
    rm -rf "$bundle_dir" "$product_dir" "$program_files"/ElvaraSound.*-* "$program_files/Common Files"/ElvaraSound.vst3.* \
        "$program_files/Common Files/VST3"/ElvaraSound.vst3.*
    "$wine" reg delete "$uninstall_key" /f /reg:64 >/dev/null 2>&1 || true
}
registry_value() { # name
    "$wine" reg query "$uninstall_key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {sub(/^ *[^ ]+ +[^ ]+ +/, ""); print}'
}
# Every package file in place with its digest from the build's package, and the key.
# Files of the user's below the product folder, given by relative path ("bundle:" and
# a path for one below the bundle), are not counted.
expect_installed() { # description [package contents folder] [user's file...]
    local expected sums user_file
    expected=$(cd "${2:-$build/generated/package-contents}" && find . -type f | sort | xargs sha256sum | sort -k2)
    sums=$( (cd "$bundle_dir" && find . -type f | sed 's|^\./||' | while read -r f; do
                 echo "$(sha256sum <"$f" | cut -d' ' -f1)  ./VST3/ElvaraSound.vst3/$f"; done
             cd "$product_dir" && find . -type f | sed 's|^\./||' | while read -r f; do
                 echo "$(sha256sum <"$f" | cut -d' ' -f1)  ./Product/$f"; done) 2>/dev/null | sort -k2)
    for user_file in "${@:3}"; do
        if [[ $user_file == bundle:* ]]; then
            sums=$(grep -v -F -x -- "$(cd "$bundle_dir" && sha256sum "${user_file#bundle:}" | sed 's|  |  ./VST3/ElvaraSound.vst3/|')" <<<"$sums")
        else
            sums=$(grep -v -F -x -- "$(cd "$product_dir" && sha256sum "$user_file" | sed 's|  |  ./Product/|')" <<<"$sums")
        fi
    done
    # Each folder's record of what was installed is the installer's own, not a package file.
    grep -q 'elvara-installed-files.txt$' <<<"$sums" && pass || fail "$1: no installation record"
    sums=$(grep -v 'elvara-installed-files.txt$' <<<"$sums")
    expect_eq "$1: installed files and digests" "$sums" "$expected"
    expect_eq "$1: uninstall entry" "$(registry_value DisplayName)" "ElvaraSound Livewire Edition"
}

# The folders and the uninstall key of the installation for one user alone (Wine names
# the profile after the Unix user). "in_user_scope COMMAND..." runs a check of the
# machine's installation (expect_installed, registry_value, ...) on the user's.
local_app_data=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local
user_bundle_dir=$local_app_data/Programs/Common/VST3/ElvaraSound.vst3
user_product_dir=$local_app_data/Programs/ElvaraSound
user_uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ElvaraSound-Livewire'
in_user_scope() {
    local bundle_dir=$user_bundle_dir product_dir=$user_product_dir uninstall_key=$user_uninstall_key
    "$@"
}
remove_user_installation() {
    rm -rf "$user_bundle_dir" "$user_product_dir" "$local_app_data/Programs"/ElvaraSound.*-* \
        "$local_app_data/Programs/Common"/ElvaraSound.vst3.* "$local_app_data/Programs/Common/VST3"/ElvaraSound.vst3.*
    "$wine" reg delete "$user_uninstall_key" /f /reg:64 >/dev/null 2>&1 || true
}
# Everything of one scope, byte for byte: each file's digest, the folders, the entry.
scope_state() { # bundle-folder product-folder key
    local folder
    for folder in "$1" "$2"; do
        (cd "$folder" 2>/dev/null && find . -printf '%y %p\n' | sort && find . -type f | sort | xargs -r -d '\n' sha256sum)
    done
    "$wine" reg query "$3" /reg:64 2>/dev/null | tr -d '\r'
}

# The events of an installation's log without their timestamps, durations, process id,
# byte count and the transaction's own phases; and what they are for a quiet success.
install_log_summary() { # file
    sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]{12}Z //' "$1" |
        sed '/^Install transaction started$/,/^Install transaction finished/{//!d}' |
        sed -E 's/[0-9]+ ms$/N ms/; s/process [0-9]+/process P/; s/, [0-9]+ bytes$/, B bytes/; s/--log .*$/--log .../'
}
expected_install_log() { # arguments-before-log elevated(yes|no) folders
    cat <<EVENTS
ElvaraSound Livewire Edition 1.3.3 setup started (process P), arguments: $1 --log ...
Elevated administrator: $2
Install folders: $3
Package verification started
Verified 9 entries, B bytes
Package verification finished in N ms
Install transaction started
Install transaction finished in N ms
Registration started
Registration finished in N ms
Result: Installed ElvaraSound Livewire Edition 1.3.3.
Exit code 0
EVENTS
}

primary_rgb="177 149 227" # the enabled primary button, half-way down its body
dark_button_rgb="38 36 47"  # the Back button and the disabled primary button
tick_rgb="189 150 237"
licence_state() { "$wine" "$helpers/window_probe.exe" licence 2>/dev/null | tr -d '\r'; }
# Waits until the Finished page shows its Close button (no button while installing).
wait_for_finished_page() { # window file [timeout seconds]
    local r g b
    for _ in $(seq 1 $((${3:-90} * 2))); do
        xdotool windowraise "$1" 2>/dev/null
        import -window "$1" "$2" 2>/dev/null
        read -r r g b <<<"$(pixel "$2" $primary_probe)"
        if (( ${r:-0} > 150 )); then sleep 0.5; import -window "$1" "$2" 2>/dev/null; return 0; fi
        sleep 0.5
    done
    return 1
}

# Installs through the real setup program's "--perform" (the test session is elevated).
install_with_perform() { # [exe]
    ("$wine" "${1:-$setup_exe}" --perform >/dev/null 2>&1; echo $? >"$scratch/perform.rc") &
    local window
    window=$(find_setup_window 30) || { fail "perform: no window"; return 1; }
    wait_for_finished_page "$window" "$scratch/perform.png" 90 || fail "perform: no Finished page"
    click_at "$window" $primary_click
    wait
    expect_eq "perform: exit code" "$(cat "$scratch/perform.rc")" 0
}
# The message box of the uninstaller: "ElvaraSound Livewire Edition · Uninstall".
find_box() {
    local id
    for _ in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name '^ElvaraSound Livewire Edition .. Uninstall$' 2>/dev/null | head -1)
        [[ -n $id ]] && { sleep 0.5; echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# The user's bytes at the name itself or (unless "own" is asked for) beside it as
# "NAME (yours).EXT".
expect_kept() { # description folder relative content [own]
    local dir base candidate
    dir=$(dirname "$3")
    base=$(basename "$3")
    for candidate in "$base" "${base%.*} (yours).${base##*.}"; do
        [[ $candidate != "$base" && ${5:-} == own ]] && continue
        if [[ -f $2/$dir/$candidate && $(cat "$2/$dir/$candidate") == "$4" ]]; then pass; return; fi
    done
    fail "$1: the user's $3 ($4) is not where it belongs: $(ls "$2/$dir" 2>&1 | tr '\n' ' ')"
}
# A second process that holds a file or a folder (tests/helpers/holder.cpp); the caller
# sets holder_pid= and calls stop_holder on exit.
start_holder() { # mode target
    "$wine" "$helpers/holder.exe" "$1" "$(winpath "$2")" >"$scratch/holder.out" 2>&1 &
    holder_pid=$!
    for _ in $(seq 1 100); do grep -q holding "$scratch/holder.out" && return 0; sleep 0.1; done
    fail "holder $*: $(cat "$scratch/holder.out")"
}
stop_holder() { [[ -n $holder_pid ]] && { kill "$holder_pid" 2>/dev/null; wait "$holder_pid" 2>/dev/null; holder_pid=; }; }
# Waits for a path to disappear (a self-removal copy works after its first process ends).
wait_until_gone() { # path [timeout seconds]
    for _ in $(seq 1 $((${2:-15} * 10))); do [[ -e $1 ]] || return 0; sleep 0.1; done
    return 1
}
tree_snapshot() { (cd "$1" 2>/dev/null && find . -printf '%y %s %p\n' | sort); }

# A second installer: the same program with another payload's package. It drops
# PRIVACY.txt and adds CHANGES.txt and a factory preset inside the bundle. Sets setup_b
# and b_contents (its package's files).
make_second_installer() {
    local payload_b=$scratch/payload-b contents=$build/generated/package-contents
    cp -r "$build/../../resources/payload" "$payload_b"
    rm "$payload_b/Product/PRIVACY.txt"
    echo "What changed in this release." >"$payload_b/Product/CHANGES.txt"
    mkdir -p "$payload_b/VST3/ElvaraSound.vst3/Contents/Resources/Presets"
    echo "factory preset" >"$payload_b/VST3/ElvaraSound.vst3/Contents/Resources/Presets/Factory.vstpreset"
    b_contents=$scratch/b-contents
    "$build/host-tools/package_writer" --payload "$payload_b" --output "$scratch/b.pkg" --contents "$b_contents" \
        --with "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3=$contents/VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3" \
        --with "Product/Uninstall.exe=$contents/Product/Uninstall.exe" >/dev/null
    setup_b=$scratch/ElvaraSoundSetupB.exe
    cp "$setup_exe" "$setup_b"
    "$wine" "$helpers/replace_resource.exe" "$(winpath "$setup_b")" "$(winpath "$scratch/b.pkg")"
}

# The result text of a Finished page in a screenshot matches the program's own
# off-screen rendering of the expected text (fewer than 1 % of its pixels differ).
expect_result_text() { # description screenshot text
    rm -f "$scratch/failure.png"
    "$wine" "$helpers/render_pages.exe" "$(winpath "$scratch")" "$3" >/dev/null 2>&1
    local differing
    convert "$2" -crop "${result_text_width}x60+${result_text_x}+${result_text_y}" +repage "$scratch/seen-text.png"
    convert "$scratch/failure.png" -crop "${result_text_width}x60+${result_text_x}+${result_text_y}" +repage "$scratch/expected-text.png"
    differing=$(compare -metric AE -fuzz 12% "$scratch/seen-text.png" "$scratch/expected-text.png" null: 2>&1)
    if [[ $differing =~ ^[0-9]+$ ]] && (( differing < 427 )); then pass; else fail "$1: result text differs ($differing pixels)"; fi
}

# Waits a bounded time for the setup window to handle a message, so that a frozen
# window fails the step by its name instead of stopping the run.
expect_answers() { # step
    if timeout 60 "$wine" "$helpers/window_probe.exe" answers 5000 >/dev/null 2>&1; then pass; return 0; fi
    fail "$1: the window does not answer"
    return 1
}
# Pixels of a box within a tolerance (percent) of a colour "r g b".
colour_pixels() { # file x y width height rgb fuzz
    convert "$1" -crop "$4x$5+$2+$3" +repage -fuzz "$7%" -fill black +opaque "rgb(${6// /,})" \
        -fill white -opaque "rgb(${6// /,})" -format "%[fx:round(mean*w*h)]" info:
}
# Pixels of a box that differ between two screenshots.
differing_pixels() { # file-a file-b x y width height
    convert "$1" -crop "$5x$6+$3+$4" +repage "$scratch/box-a.png"
    convert "$2" -crop "$5x$6+$3+$4" +repage "$scratch/box-b.png"
    compare -metric AE -fuzz 12% "$scratch/box-a.png" "$scratch/box-b.png" null: 2>&1
}

# The Licence page as a user reads and works it, with real input, at a scale of 1 or 2:
# from the Welcome page to the licence, scrolled by keys, the wheel and the scroll bar,
# the box ticked, the focus moved with Tab and the mouse, on to Ready and back. Every
# step must leave a window that answers; after one that does not, the walk ends.
walk_licence_page() { # window scale label
    local window=$1 s=$2 label=$3
    local x=$((licence_text_x * s)) y=$((licence_text_y * s)) w=$((licence_text_width * s)) h=$((licence_text_height * s))
    local area=$((licence_text_width * licence_text_height * s * s)) shots=$scratch/${label// /-}
    scaled() { local out=() v; for v in "$@"; do out+=($((v * s))); done; echo "${out[@]}"; }
    shot() { screenshot "$window" "$shots-$1.png"; }
    shows_licence() { # step shot
        local text background
        text=$(colour_pixels "$shots-$2.png" $x $y $w $h "$licence_text_rgb" 10)
        background=$(colour_pixels "$shots-$2.png" $x $y $w $h "$licence_background_rgb" 3)
        if (( text * 100 > area * 3 && background * 100 > area * 60 )); then pass; else
            fail "$label: $1: no licence text on the control's background ($text text, $background background pixels of $area)"
        fi
    }
    compared() { # step before after changed|same
        local differing
        differing=$(differing_pixels "$shots-$2.png" "$shots-$3.png" $x $y $w $h)
        local held=false
        if [[ $differing =~ ^[0-9]+$ ]]; then
            case $4 in
            changed) (( differing * 100 > area * 2 )) && held=true ;;
            same) (( differing * 100 < area )) && held=true ;;
            esac
        fi
        $held && pass || fail "$label: $1: the licence box should be $4 ($differing pixels differ)"
    }
    shot welcome
    click_at "$window" $(scaled $primary_click)
    expect_answers "$label: Continue to Licence" || return 1
    shot top
    shows_licence "Licence" top
    compared "Licence against what Welcome had there" welcome top changed

    # The wheel scrolls what is under the pointer; keys go to the control after a click
    # into it, as a user's would.
    xdotool mousemove --window "$window" $(scaled 389 321)
    xdotool click --repeat 3 --delay 150 5
    expect_answers "$label: three wheel notches" || return 1
    shot wheel
    compared "three wheel notches scroll" top wheel changed
    click_at "$window" $(scaled 389 321)
    xdotool key --clearmodifiers Next
    expect_answers "$label: Page Down" || return 1
    shot page-down
    compared "Page Down scrolls" wheel page-down changed
    shows_licence "after scrolling" page-down
    local step expected keys previous=page-down
    while read -r step expected keys; do
        xdotool key --clearmodifiers --delay 150 $keys
        expect_answers "$label: $step" || return 1
        shot "$step"
        if [[ $expected == top ]]; then compared "$step" top "$step" same; else compared "$step" "$previous" "$step" changed; fi
        previous=$step
    done <<'KEYS'
end changed End
page-up changed Prior
home top Home
down changed Down Down Down
up top Up Up Up
KEYS
    # The scroll bar's track below its thumb pages down.
    click_at "$window" $((x + w - 5 * s)) $((y + h - 40 * s))
    expect_answers "$label: a click on the scroll bar" || return 1
    shot scroll-bar
    compared "a click on the scroll bar scrolls" top scroll-bar changed

    click_at "$window" $(scaled $checkbox_probe)
    expect_answers "$label: the checkbox by mouse" || return 1
    shot ticked
    expect_colour "$label: ticked" "$shots-ticked.png" $(scaled $checkbox_probe) $tick_rgb 8
    expect_colour "$label: Continue enabled" "$shots-ticked.png" $(scaled $primary_probe) $primary_rgb 14
    xdotool key --clearmodifiers Tab
    expect_answers "$label: Tab" || return 1
    shot tab-licence
    expect_colour "$label: Tab: the ring around the licence" "$shots-tab-licence.png" $(scaled $licence_text_ring_probe) $focus_ring_rgb 40
    xdotool key --clearmodifiers Tab
    shot tab-checkbox
    expect_colour "$label: Tab again: the ring on the checkbox" "$shots-tab-checkbox.png" $(scaled $checkbox_ring_probe) $focus_ring_rgb 40
    click_at "$window" $(scaled 389 321)
    expect_answers "$label: a click into the licence" || return 1
    shot clicked-in
    local ring_x ring_y
    read -r ring_x ring_y <<<"$(scaled $checkbox_ring_probe)"
    [[ $(bright_pixels "$shots-clicked-in.png" $ring_x $((ring_y - 2 * s)) $s $((5 * s)) 150) -eq 0 ]] && pass ||
        fail "$label: a click into the licence takes the ring off the checkbox"
    xdotool key --clearmodifiers Tab
    shot tab-from-licence
    expect_colour "$label: Tab from the licence: the checkbox" "$shots-tab-from-licence.png" $(scaled $checkbox_ring_probe) $focus_ring_rgb 40

    click_at "$window" $(scaled $primary_click)
    expect_answers "$label: Continue to Ready" || return 1
    shot ready
    (( $(bright_pixels "$shots-ready.png" $(scaled $bundle_folder_text_x $bundle_folder_text_y 700 22) 120) > 50 * s )) &&
        pass || fail "$label: Continue reaches Ready"
    shows_no_licence() { (( $(colour_pixels "$shots-ready.png" $x $y $w $h "$licence_text_rgb" 10) * 100 < area )); }
    shows_no_licence && pass || fail "$label: Ready: the licence box is gone"
    click_at "$window" $(scaled $back_click)
    expect_answers "$label: Back to Licence" || return 1
    shot back
    shows_licence "Back on Licence" back
    expect_colour "$label: still ticked" "$shots-back.png" $(scaled $checkbox_probe) $tick_rgb 8
}
