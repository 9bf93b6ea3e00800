#!/bin/bash
# The uninstaller links only what it uses: none of the setup program's worker,
# transaction or package-loading texts may be inside it. (The install lock is shared
# on purpose: an uninstall and an installation exclude each other.)
#   uninstaller_strings.sh UNINSTALL_EXE
set -uo pipefail
exe=${1:?usage: uninstaller_strings.sh UNINSTALL_EXE}
found=0
for text in "Installed safely" "Installer package missing" "Administrator permission is required" \
            "Installer integrity check failed" "before updating the plugin" "Cannot create plugin file"; do
    # Texts are stored as UTF-8 and as UTF-16: look for both.
    # (grep reads everything: with -q it would end strings early, and pipefail would
    # then turn a match into a miss)
    if [[ $( (strings -a "$exe"; strings -a -el "$exe") | grep -cF -- "$text") -gt 0 ]]; then
        echo "the uninstaller contains \"$text\"" >&2
        found=1
    fi
done
[[ $found -eq 0 ]] && echo "no setup program texts in $(basename "$exe")"
exit $found
