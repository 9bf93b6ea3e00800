#!/bin/bash
# The wizard and the uninstaller in the user's language, as Wine takes it from the
# locale: German and Japanese pages and accessible names, English for a locale that the
# machine has not built, --lang over the locale, unknown tags refused with 1639, quiet
# output and the log in English, the language recorded in the uninstall entry and spoken
# by the uninstaller and by the elevated copy. Screenshots of each page in German and
# Japanese show text inside the page's boxes and none in its margins.
source "$(dirname "$0")/lib.sh"
trap 'remove_installation; cleanup' EXIT
remove_installation
probe() { "$wine" "$helpers/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
pictures=${ELVARA_LANGUAGE_PICTURES:-$scratch}

# The wizard's window, whatever its title's language.
find_wizard() {
    local id
    for _ in $(seq 1 300); do
        id=$(xdotool search --name '^ElvaraSound ' 2>/dev/null | head -1)
        if [[ -n $id ]] && xdotool getwindowgeometry "$id" >/dev/null 2>&1; then
            sleep 1.5 # its first frame on a loaded machine
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
open_wizard() { # locale words...
    local locale=$1; shift
    LC_ALL=$locale "$wine" "$setup_exe" "$@" >/dev/null 2>&1 &
    background_pids+=($!)
    find_wizard
}
close_wizard() { # window
    press "$1" Escape
    wait_window_gone "$1" 15 || fail "the wizard did not close"
}
expect_names() { # description text...
    local description=$1 names; shift
    names=$(probe names)
    for text in "$@"; do
        grep -qxF -- "$text" <<<"$names" && pass || fail "$description: [$text] not among [$names]"
    done
}
# Text pixels (bright or accent) in the headline's box, and none in the margins where no
# text belongs: right of the content, and between the footer's line and the buttons' row
# right of the footer's texts.
expect_text_inside() { # description screenshot
    local inside right
    inside=$(bright_pixels "$2" "$headline_x" "$headline_y" "$headline_width" "$headline_height" 180)
    right=$(bright_pixels "$2" 752 110 26 370 120)
    ((inside > 150)) && pass || fail "$1: only $inside text pixels in the headline"
    expect_eq "$1: text pixels right of the content" "$right" 0
}
walk_pages() { # language screenshot-prefix
    local id=$1 prefix=$2
    screenshot "$id" "$prefix-1-welcome.png"
    expect_text_inside "$prefix welcome" "$prefix-1-welcome.png"
    press "$id" Return
    sleep 0.5
    screenshot "$id" "$prefix-2-licence.png"
    expect_text_inside "$prefix licence" "$prefix-2-licence.png"
    press "$id" space Return
    sleep 0.5
    screenshot "$id" "$prefix-3-ready.png"
    expect_text_inside "$prefix ready" "$prefix-3-ready.png"
}

# ---- every page of every language, and of the pseudo-language, drawn off-screen
mkdir -p "$scratch/render"
"$wine" "$helpers/render_pages.exe" --lang all "$(winpath "$scratch/render")" >/dev/null 2>&1 || fail "render_pages --lang all"
for tag in en de fr es it pt-BR nl pl ru ja zh-CN ko qps-ploc; do
    for page in 1-welcome 3-ready 4-installing 5-finished 6-needs-attention; do
        inside=$(bright_pixels "$scratch/render/$tag/$page.png" "$headline_x" "$headline_y" "$headline_width" \
            "$headline_height" 180 2>/dev/null || echo 0)
        ((inside > 150)) && pass || fail "render_pages --lang $tag: $page has no headline ($inside)"
    done
done
# The same page in two languages differs where the text stands, not in the page around it.
expect_eq "German welcome: the background above the headline as in English" \
    "$(differing_pixels "$scratch/render/en/1-welcome.png" "$scratch/render/de/1-welcome.png" 0 108 780 20)" 0
[[ $(differing_pixels "$scratch/render/en/1-welcome.png" "$scratch/render/de/1-welcome.png" "$headline_x" "$headline_y" \
    "$headline_width" "$headline_height") -gt 500 ]] && pass || fail "German welcome: the headline differs from English"

# ---- German from the locale: pages, accessible names and default actions
id=$(open_wizard de_DE.UTF-8) || fail "German: no window"
expect_names "German" "ElvaraSound · Setup" "Willkommen · ElvaraSound Setup" "Ihr Master-Bus. Aufgewertet." \
    "Weiter" "Drücken"
walk_pages "$id" "$pictures/de"
expect_names "German Ready page" "Bereit · ElvaraSound Setup" "Zurück" "Installieren" \
    "Nur für mich installieren (keine Administratorrechte nötig)"
close_wizard "$id"

# ---- Japanese from the locale, drawn with a Japanese font
id=$(open_wizard ja_JP.UTF-8) || fail "Japanese: no window"
expect_names "Japanese" "ElvaraSound · セットアップ" "ようこそ · ElvaraSound セットアップ" "マスターバスを、次のレベルへ。" "続行"
walk_pages "$id" "$pictures/ja"
expect_names "Japanese Ready page" "準備完了 · ElvaraSound セットアップ" "戻る" "インストール"
close_wizard "$id"

# ---- a locale that this machine has not built: English
id=$(open_wizard sv_SE.UTF-8) || fail "unbuilt locale: no window"
expect_names "unbuilt locale" "ElvaraSound · Setup" "Welcome · ElvaraSound Setup" "Continue"
close_wizard "$id"

# ---- the switch wins over the locale, in both spellings
id=$(open_wizard de_DE.UTF-8 --lang ja) || fail "--lang ja: no window"
expect_names "--lang ja in a German locale" "ようこそ · ElvaraSound セットアップ"
close_wizard "$id"
id=$(open_wizard ja_JP.UTF-8 /LANG=fr) || fail "/LANG=fr: no window"
expect_names "/LANG=fr in a Japanese locale" "ElvaraSound · Installation" "Bienvenue · Installation d’ElvaraSound"
close_wizard "$id"

# ---- unknown tags: refused like any bad switch, in every mode of both programs
refused_text="Unknown language: xx-YY. Use --lang with one of: en, de, fr, es, it, pt-BR, nl, pl, ru, ja, zh-CN, ko."
for words in "--quiet --lang xx-YY" "/S /LANG=xx-YY" "/LANG=xx-YY" "--verify-only --lang xx-YY"; do
    "$wine" "$helpers/run_command_line.exe" "\"$(winpath "$setup_exe")\" $words" "$(winpath "$scratch/row.rc")" \
        >"$scratch/row.out" 2>"$scratch/row.err"
    expect_eq "setup $words: exit code" "$(tr -d '\r' <"$scratch/row.rc")" 1639
    expect_eq "setup $words: standard error" "$(tr -d '\r' <"$scratch/row.err")" "$refused_text"
done
expect_eq "unknown tags: nothing installed" "$(ls "$product_dir" 2>/dev/null | wc -l)" 0

# ---- quiet output and the log stay English in a German locale with --lang de; the entry records German
log=$scratch/de.log
LC_ALL=de_DE.UTF-8 "$wine" "$setup_exe" --quiet --lang de --log "$(winpath "$log")" >"$scratch/de.out" 2>"$scratch/de.err"
expect_eq "quiet German: exit code" "$?" 0
expect_eq "quiet German: standard output" "$(tr -d '\r' <"$scratch/de.out")" "Installed ElvaraSound Livewire Edition 1.3.3."
grep -q '^.* Result: Installed ElvaraSound Livewire Edition 1.3.3.$' "$log" && pass || fail "quiet German: the log's result"
grep -q 'Package verification finished in' "$log" && pass || fail "quiet German: the log's phases in English"
expect_eq "quiet German: the recorded language" "$(registry_value Language)" 0x407

for words in "/S --lang xx-YY" "/S --lang"; do
    "$wine" "$helpers/run_command_line.exe" "\"$(winpath "$product_dir/Uninstall.exe")\" $words" \
        "$(winpath "$scratch/row.rc")" >"$scratch/row.out" 2>"$scratch/row.err"
    expect_eq "uninstaller $words: exit code" "$(tr -d '\r' <"$scratch/row.rc")" 1639
done
expect_installed "after the refused uninstalls"

# ---- the uninstaller speaks the recorded language, in an English locale; its own --lang wins
ask_uninstaller() { # words...
    rm -f "$scratch/ask.rc" # the previous question's answer must not stand for this one's
    (LC_ALL=C.UTF-8 "$wine" "$product_dir/Uninstall.exe" "$@" >/dev/null 2>&1; echo $? >"$scratch/ask.rc") &
    background_pids+=($!)
    local dialog=""
    for _ in $(seq 1 150); do
        dialog=$(probe dialog)
        [[ $dialog != "no dialog" && -n $dialog ]] && break
        sleep 0.2
    done
    echo "$dialog"
    # No: nothing is removed, exit code 1602.
    local box
    box=$(xdotool search --name "^ElvaraSound Livewire Edition " 2>/dev/null | head -1)
    [[ -n $box ]] && press "$box" Escape
    for _ in $(seq 1 100); do [[ -s $scratch/ask.rc ]] && break; sleep 0.2; done
}
dialog=$(ask_uninstaller)
grep -qF "ElvaraSound Livewire Edition · Deinstallation" <<<"$dialog" && pass || fail "uninstaller: German title [$dialog]"
grep -qF "ElvaraSound Livewire Edition von diesem Computer entfernen?" <<<"$dialog" && pass \
    || fail "uninstaller: German question [$dialog]"
# 1602, as a Unix shell sees it (its low byte)
expect_eq "uninstaller: No" "$(tr -d '\r' <"$scratch/ask.rc")" $((1602 & 255))
dialog=$(ask_uninstaller --lang ja)
grep -qF "このコンピューターから ElvaraSound Livewire Edition を削除しますか?" <<<"$dialog" && pass \
    || fail "uninstaller --lang ja: Japanese question [$dialog]"
expect_installed "after the questions answered No"

# ---- the elevated copy speaks the language of its caller: a standard user's quiet run in
# Japanese starts it with the same language (its log line names it), whatever its locale
"$wine" "$helpers/restricted_launcher.exe" "$(winpath "$setup_exe")" /quiet --lang ja --log "$(winpath "$scratch/user.log")" \
    >"$scratch/user.out" 2>"$scratch/user.err"
grep -qE -- "arguments: --quiet --elevated-copy --lang ja --report-pipe " "$scratch/user.log" && pass \
    || fail "the elevated copy's language: $(grep 'started' "$scratch/user.log")"

# ---- the wizard's elevated copy speaks the wizard's language: a standard user's Japanese
# wizard hands the installation to a copy whose pages are Japanese too
("$wine" "$helpers/restricted_launcher.exe" "$(winpath "$setup_exe")" --lang ja >/dev/null 2>&1) &
background_pids+=($!)
id=$(find_wizard) || fail "unelevated Japanese wizard: no window"
press "$id" Return space Return Return
wait_window_gone "$id" 30 || fail "the unelevated Japanese wizard did not end"
copy=""
for _ in $(seq 1 300); do
    copy=$(xdotool search --name '^ElvaraSound ' 2>/dev/null | head -1)
    [[ -n $copy ]] && break
    sleep 0.1
done
if [[ -n $copy ]]; then
    for _ in $(seq 1 300); do probe names | grep -qxF "完了 · ElvaraSound セットアップ" && break; sleep 0.2; done
    expect_names "the elevated copy" "ElvaraSound · セットアップ" "完了 · ElvaraSound セットアップ" "閉じる"
    press "$copy" Return
    wait_window_gone "$copy" 20 || fail "the elevated copy did not close"
else
    fail "no elevated copy appeared"
fi

finish
