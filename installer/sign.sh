#!/bin/sh
# Signs one Windows file in place (an exe, the installer, the uninstaller
# while makensis builds it) with the certificate the release was given, and
# checks the signature it made; "sign.sh --verify FILE" only checks one.
#   LUMIVO_SIGN_PFX        the certificate and its key, a PFX file, by its full
#                          path: makensis runs this from a folder of its own
#   LUMIVO_SIGN_PASSWORD   its password, passed to osslsigncode on its
#                          standard input so that no process list shows it
#   LUMIVO_SIGN_TIMESTAMP  an RFC 3161 time-stamp server (optional): a time
#                          stamp keeps the signature valid after the
#                          certificate expires
#   LUMIVO_SIGN_CAFILE     certificates to check the signature against
#                          (optional; osslsigncode's own list otherwise),
#                          e.g. a test certificate
# Any failure exits non-zero, so makensis and the release stop.
set -eu

verify() {
    if ! osslsigncode verify ${LUMIVO_SIGN_CAFILE:+-CAfile "$LUMIVO_SIGN_CAFILE"} \
        -in "$1" >"$1.verify" 2>&1; then
        cat "$1.verify" >&2
        rm -f "$1.verify"
        echo "sign: the signature of $1 does not verify" >&2
        exit 1
    fi
    rm -f "$1.verify"
}

if [ "$1" = --verify ]; then
    verify "$2"
    exit 0
fi

file=$1
case ${LUMIVO_SIGN_PFX:-} in
    /*) ;;
    *)
        echo "sign: LUMIVO_SIGN_PFX must be a full path, not \"${LUMIVO_SIGN_PFX:-}\"" >&2
        exit 1
        ;;
esac
signed="$file.signed"
trap 'rm -f "$signed"' EXIT
printf '%s' "$LUMIVO_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$LUMIVO_SIGN_PFX" -readpass - -h sha256 -n lumivo \
        ${LUMIVO_SIGN_TIMESTAMP:+-ts "$LUMIVO_SIGN_TIMESTAMP"} \
        -in "$file" -out "$signed" >/dev/null
verify "$signed"
mv "$signed" "$file"
