#!/bin/bash
# Signs one Windows executable in place with Authenticode (osslsigncode, SHA-256).
#   sign.sh CERTIFICATE.pfx FILE
# The password comes from ELVARA_SIGN_PASSWORD or the file named by
# ELVARA_SIGN_PASSWORD_FILE; it is never written into the build tree.
set -euo pipefail
pfx=${1:?usage: sign.sh CERTIFICATE.pfx FILE}
file=${2:?usage: sign.sh CERTIFICATE.pfx FILE}
secret=$(mktemp)
trap 'rm -f "$secret" "$file.signed"' EXIT
chmod 600 "$secret"
if [[ -n ${ELVARA_SIGN_PASSWORD_FILE:-} ]]; then
    cat "$ELVARA_SIGN_PASSWORD_FILE" >"$secret"
else
    printf '%s' "${ELVARA_SIGN_PASSWORD:-}" >"$secret"
fi
osslsigncode sign -pkcs12 "$pfx" -readpass "$secret" -h sha256 \
    -n "ElvaraSound Livewire Edition" -i "https://www.elvarasound.com/dawplugin" \
    -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
