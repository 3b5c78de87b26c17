#!/usr/bin/env bash
# tools/sign.sh gives a file whose Authenticode signature osslsigncode accepts against the
# certificate it was signed with, and against no other:
#   sign_test.sh SIGN_SCRIPT PROGRAM
# The certificates are throwaway ones, self-signed and made for code signing here; a release is
# signed the same way with the publisher's (docs/building.md, "Signing a release").
set -euo pipefail
sign="$1"
program="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/orvane-sign-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# certificate NAME: NAME.pem (the certificate) and NAME.pfx (it with its key, password "pw NAME").
certificate() {
  openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=Orvane test $1" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
  openssl pkcs12 -export -in "$work/$1.pem" -inkey "$work/$1.key" -out "$work/$1.pfx" \
    -passout "pass:pw $1"
}
certificate publisher
certificate stranger

cp "$program" "$work/original.exe"
SIGN_PFX="$work/publisher.pfx" SIGN_PASSWORD="pw publisher" "$sign" "$program" "$work/signed.exe" \
  || fail "sign.sh failed"
cmp -s "$program" "$work/original.exe" || fail "sign.sh changed its input"
osslsigncode verify -CAfile "$work/publisher.pem" -in "$work/signed.exe" >"$work/verify" 2>&1 \
  || fail "the signature is not accepted against the signing certificate: $(cat "$work/verify")"
grep -q "Message digest algorithm  *: SHA256" "$work/verify" \
  || fail "not signed with SHA-256: $(cat "$work/verify")"
if osslsigncode verify -CAfile "$work/stranger.pem" -in "$work/signed.exe" >/dev/null 2>&1; then
  fail "the signature is accepted against a certificate that did not make it"
fi
if osslsigncode verify -CAfile "$work/publisher.pem" -in "$work/original.exe" >/dev/null 2>&1; then
  fail "the unsigned program passes verification"
fi
# A wrong password signs nothing.
if SIGN_PFX="$work/publisher.pfx" SIGN_PASSWORD="wrong" "$sign" "$program" "$work/wrong.exe" \
  2>/dev/null && [ -s "$work/wrong.exe" ]; then
  fail "signed with a wrong password"
fi
echo "signed with SHA-256; accepted against the signing certificate only"
