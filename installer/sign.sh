#!/bin/sh
# Signs one Windows file in place (an exe, the installer, the uninstaller
# while makensis builds it) with the certificate the release was given:
#   LUMIVO_SIGN_PFX        the certificate and its key, a PFX file
#   LUMIVO_SIGN_PASSWORD   its password, passed to osslsigncode on its
#                          standard input so that no process list shows it
# No time stamp: the release is built without a network.
set -eu
file=$1
signed="$file.signed"
trap 'rm -f "$signed"' EXIT
printf '%s' "$LUMIVO_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$LUMIVO_SIGN_PFX" -readpass - -h sha256 -n lumivo \
        -in "$file" -out "$signed" >/dev/null
mv "$signed" "$file"
