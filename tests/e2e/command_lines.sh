#!/bin/bash
# Both programs' command lines as Windows users and deployment tools write them, in one
# table run in order (each row starts from the state the row before left): switches
# without regard to letter case, unknown words refused with 1639 before anything
# changes in every mode, a value that would swallow a switch, a switch given twice with
# two values, no window for any of them, and the uninstaller's --scope checked against
# its own scope, never followed; --version, and /? or --help on standard output in
# English (whatever --lang says) when a tool reads it; an unknown language refused with 1639.
# Then the per-user folders replaced by links to the machine's: the machine's
# uninstaller still knows itself as the machine's.
source "$(dirname "$0")/lib.sh"
trap 'rm -f "$user_product_dir" "$user_bundle_dir"; remove_user_installation; remove_installation; cleanup' EXIT
remove_installation

installed() { [[ -f $product_dir/Uninstall.exe && -d $bundle_dir ]] && echo installed || echo absent; }
uninstaller="$product_dir/Uninstall.exe"
# program | arguments | exit code | installed afterwards | text on standard output or error (none: both empty)
rows=(
    "setup|/s|0|installed|Installed ElvaraSound Livewire Edition"
    "setup|--QUIET /D=C:\\x|1639|installed|Unknown option: /D=C:\\x"
    "setup|/Quiet --Log|1|installed|--log needs a file name."
    # One reading for every mode: a value never swallows a switch, unknown words are
    # refused before verification, the preview or the wizard, a switch given twice with
    # two values is refused.
    "setup|/S --log --verify-only|1|installed|--log needs a file name."
    "setup|--verify-only /S foo|1639|installed|Unknown option: foo"
    "setup|foo|1639|installed|Unknown option: foo"
    "setup|--render-preview --perform|1|installed|--render-preview needs a file name."
    "setup|/S --scope user --scope machine|1639|installed|Conflicting options: --scope user and --scope machine."
    "setup|/S --scope Machine|1|installed|Unknown scope: Machine. Use --scope machine or --scope user."
    "uninstaller|/s /bogus|1639|installed|Unknown option: /bogus"
    "uninstaller|/S --scope user|1|installed|was not removed: this uninstaller removes the installation for all users"
    "uninstaller|/S --scope nobody|1|installed|Unknown scope: nobody. Use --scope machine or --scope user."
    "uninstaller|--scope /S|1|installed|--scope needs machine or user."
    "uninstaller|/S --scope machine --SCOPE user|1639|installed|Conflicting options: --scope machine and --SCOPE user."
    "uninstaller|/S --log --scope machine|1|installed|--log needs a file name."
    "uninstaller|/S --verify-only|1639|installed|Unknown option: --verify-only"
    "uninstaller|--Finish-Removal 1234|1|installed|"
    "uninstaller|--Quiet --log|1|installed|--log needs a file name."
    "uninstaller|/s --SCOPE machine|0|absent|ElvaraSound Livewire Edition was removed."
    "setup|/S --scope machine|0|installed|Installed ElvaraSound Livewire Edition"
    "uninstaller|--version|0|installed|ElvaraSound Livewire Edition 1.3.3"
    "uninstaller|/? --lang ja|0|installed|Usage: Uninstall.exe [switches]"
    "uninstaller|/S --lang xx|1639|installed|Unknown language: xx. Use --lang with one of:"
    "uninstaller|/QUIET|0|absent|ElvaraSound Livewire Edition was removed."
    "setup|--version|0|absent|ElvaraSound Livewire Edition 1.3.3"
    "setup|/? --lang de|0|absent|the language of the windows: en, de, fr"
    "setup|--HELP|0|absent|Usage: ElvaraSoundLivewireSetup.exe [switches]"
    "setup|--quiet /LANG=xx|1639|absent|Unknown language: xx. Use --lang with one of:"
)
for row in "${rows[@]}"; do
    IFS='|' read -r program arguments code state text <<<"$row"
    exe=$setup_exe
    [[ $program == uninstaller ]] && exe=$uninstaller
    # The whole exit code (a Unix shell sees only its low byte), through a Windows caller.
    rm -f "$scratch/row.rc"
    "$wine" "$helpers/run_command_line.exe" "\"$(winpath "$exe")\" $arguments" "$(winpath "$scratch/row.rc")" \
        >"$scratch/row.out" 2>"$scratch/row.err" &
    runner=$!
    # None of these opens a window: a refusal of an unattended run goes to standard error,
    # and Setup shows none in any mode.
    window=
    while kill -0 "$runner" 2>/dev/null; do
        window=$(xdotool search --onlyvisible --name '^ElvaraSound' 2>/dev/null | head -1)
        if [[ -n $window ]]; then
            fail "$program $arguments: a window opened: $(xdotool getwindowname "$window" 2>/dev/null)"
            xdotool windowactivate "$window" 2>/dev/null; xdotool key Escape n 2>/dev/null
            sleep 1
        fi
        sleep 0.2
    done
    wait "$runner"
    expect_eq "$program $arguments: exit code" "$(tr -d '\r' <"$scratch/row.rc" 2>/dev/null)" "$code"
    [[ $program == uninstaller && $state == absent ]] && wait_until_gone "$product_dir/Uninstall.exe" 15 >/dev/null
    expect_eq "$program $arguments: afterwards" "$(installed)" "$state"
    if [[ -z $text ]]; then
        expect_eq "$program $arguments: output" "$(cat "$scratch/row.out" "$scratch/row.err")" ""
    else
        grep -qF -- "$text" "$scratch/row.out" "$scratch/row.err" && pass \
            || fail "$program $arguments: [$text] not in [$(cat "$scratch/row.out" "$scratch/row.err")]"
    fi
done
[[ ! -e $user_product_dir/Uninstall.exe ]] && pass || fail "a refused --scope installed for the user"

# ---- the per-user folders are links to the machine's folders
run_capture links-install "$setup_exe" /S
remove_user_installation
mkdir -p "$(dirname "$user_product_dir")" "$(dirname "$user_bundle_dir")"
ln -s "$product_dir" "$user_product_dir"
ln -s "$bundle_dir" "$user_bundle_dir"
run_capture links "$product_dir/Uninstall.exe" /S --log "$(winpath "$scratch/links.log")"
expect_eq "links in the user's profile: exit code" "$(cat "$scratch/links.rc")" 0
grep -qF "scope: the machine's installation" "$scratch/links.log" && pass \
    || fail "links in the user's profile: the machine's uninstaller took itself for the user's"
wait_until_gone "$product_dir/Uninstall.exe" || fail "links in the user's profile: the uninstaller stayed"
expect_eq "links in the user's profile: the machine's entry" "$(registry_value DisplayName)" ""
[[ -L $user_product_dir && -L $user_bundle_dir ]] && pass || fail "links in the user's profile: the links are gone"
finish
