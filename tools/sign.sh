#!/usr/bin/env bash
# Signs a Windows program with the publisher's certificate: an Authenticode signature with SHA-256,
# made by osslsigncode (Debian's package of that name).
#   SIGN_PFX=publisher.pfx SIGN_PASSWORD=... [SIGN_TIMESTAMP_URL=https://...] tools/sign.sh IN OUT
# SIGN_PFX is a PKCS#12 file holding the code-signing certificate, its chain and its private key;
# SIGN_PASSWORD opens it. With SIGN_TIMESTAMP_URL, the signature is countersigned by that RFC 3161
# time-stamping authority, so that it stays valid after the certificate expires; without it, the
# file is signed without a time stamp and no network is used. IN is left as it is.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: SIGN_PFX=FILE SIGN_PASSWORD=TEXT [SIGN_TIMESTAMP_URL=URL] $0 IN OUT" >&2
  exit 2
fi
in="$1"
out="$2"
: "${SIGN_PFX:?SIGN_PFX must name the PKCS#12 file with the signing certificate}"
: "${SIGN_PASSWORD?SIGN_PASSWORD must hold the password of SIGN_PFX}"
[ -f "$in" ] || { echo "$0: no such file: $in" >&2; exit 2; }
[ "$(realpath -m -- "$in")" != "$(realpath -m -- "$out")" ] || {
  echo "$0: OUT must be another file than IN" >&2
  exit 2
}
[ -f "$SIGN_PFX" ] || { echo "$0: no such file: $SIGN_PFX" >&2; exit 2; }
command -v osslsigncode >/dev/null || {
  echo "$0: osslsigncode is not installed (tools/ensure-packages.sh osslsigncode)" >&2
  exit 2
}

timestamp=()
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$SIGN_TIMESTAMP_URL")
fi
# osslsigncode refuses to write over an existing file.
rm -f "$out"
# The password goes through a pipe rather than the command line, where other users could read it.
printf '%s' "$SIGN_PASSWORD" | osslsigncode sign -pkcs12 "$SIGN_PFX" -readpass /dev/stdin \
  -h sha256 -n Orvane "${timestamp[@]}" -in "$in" -out "$out" >/dev/null
