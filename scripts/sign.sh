#!/usr/bin/env bash
# Signs Windows files (DLL, EXE, MSI) in place with Authenticode, SHA-256.
#
# Usage: scripts/sign.sh FILE...
#   NORV_SIGN_CERT       the code-signing certificate, PEM (may hold its chain)
#   NORV_SIGN_KEY        its private key, PEM, not encrypted
#   NORV_SIGN_TIMESTAMP  optional: an RFC 3161 time-stamp server URL; without
#                        one the signature stops verifying when the
#                        certificate expires (`osslsigncode add -TSA` can add
#                        a time stamp later)
# Without NORV_SIGN_CERT and NORV_SIGN_KEY the files stay as they are and one
# line says so. Sign an MSI only after its last table edit: any edit breaks
# its signature.
set -euo pipefail

[ "$#" -gt 0 ] || { sed -n '2,13p' "${BASH_SOURCE[0]}"; exit 2; }
if [ -z "${NORV_SIGN_CERT:-}" ] && [ -z "${NORV_SIGN_KEY:-}" ]; then
    echo "sign: NORV_SIGN_CERT and NORV_SIGN_KEY are not set; $# file(s) left unsigned"
    exit 0
fi
for var in NORV_SIGN_CERT NORV_SIGN_KEY; do
    [ -r "${!var:-}" ] || { echo "sign: $var (${!var:-unset}) is not a readable file" >&2; exit 1; }
done
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is missing (scripts/install-deps.sh msi)" >&2; exit 1; }

stamp=()
[ -n "${NORV_SIGN_TIMESTAMP:-}" ] && stamp=(-ts "$NORV_SIGN_TIMESTAMP")
for file in "$@"; do
    # A file signed before is signed afresh from its unsigned form, not nested.
    if osslsigncode extract-signature -in "$file" -out /dev/null >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$file" -out "$file.unsigned" >/dev/null
        mv "$file.unsigned" "$file"
    fi
    if ! osslsigncode sign -certs "$NORV_SIGN_CERT" -key "$NORV_SIGN_KEY" -h sha256 \
        -n "NORV Monitor" "${stamp[@]}" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1; then
        echo "sign: signing $file failed:" >&2
        sed 's/^/  /' "$file.sign.log" >&2
        rm -f "$file.signed" "$file.sign.log"
        exit 1
    fi
    rm -f "$file.sign.log"
    mv "$file.signed" "$file"
done
echo "sign: $# file(s) signed as $(openssl x509 -in "$NORV_SIGN_CERT" -noout -subject -nameopt oneline | sed 's/^subject=//')"
