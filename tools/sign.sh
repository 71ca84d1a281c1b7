#!/bin/sh
# Signs each FILE in place with Authenticode (SHA-256) when
# VELKAR_SIGNING_CERTIFICATE names a PKCS#12 file (its password in
# VELKAR_SIGNING_PASSWORD); does nothing otherwise. The signing time is
# SOURCE_DATE_EPOCH, so a signed build reproduces with the same key. A
# timestamp server is asked only when VELKAR_SIGNING_TIMESTAMP_URL is set.
# Usage: tools/sign.sh FILE...
set -eu
[ -n "${VELKAR_SIGNING_CERTIFICATE:-}" ] || exit 0
command -v osslsigncode >/dev/null 2>&1 || {
    echo "sign.sh: osslsigncode is needed to sign (Debian package osslsigncode)" >&2
    exit 1
}
[ -r "$VELKAR_SIGNING_CERTIFICATE" ] || {
    echo "sign.sh: cannot read the certificate $VELKAR_SIGNING_CERTIFICATE" >&2
    exit 1
}
# The password goes through a private file, never a command line others can see.
password=$(umask 077 && mktemp "${TMPDIR:-/tmp}/velkar-sign.XXXXXX")
trap 'rm -f "$password"' EXIT
printf '%s' "${VELKAR_SIGNING_PASSWORD:-}" >"$password"
for file in "$@"; do
    signed=$file.signed
    rm -f "$signed"
    # shellcheck disable=SC2046
    osslsigncode sign -pkcs12 "$VELKAR_SIGNING_CERTIFICATE" -readpass "$password" -h sha256 \
        -n "Tamsel's Velkar" \
        $( [ -n "${SOURCE_DATE_EPOCH:-}" ] && printf -- '-time %s' "$SOURCE_DATE_EPOCH" ) \
        $( [ -n "${VELKAR_SIGNING_TIMESTAMP_URL:-}" ] && printf -- '-ts %s' "$VELKAR_SIGNING_TIMESTAMP_URL" ) \
        -in "$file" -out "$signed" >/dev/null
    mv "$signed" "$file"
done
