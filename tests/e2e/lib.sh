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
