#!/usr/bin/env bash
# Makes a release of the shipped executable: signs a copy when a certificate
# and key are given, verifies the signature, checks that the tool still finds
# its firmware package behind it, and writes the executable and its SHA-256
# digest to the release folder.
#
#   scripts/release.sh [--krpack KRPACK] EXE DIST
#
# Signing, from the environment (both or neither):
#   KR_SIGN_CERT  certificate file (PEM or DER; may hold the chain)
#   KR_SIGN_KEY   private key file
# Optional:
#   KR_SIGN_PASS  file holding the key's password
#   KR_SIGN_CA    CA bundle to verify the signature with (default: KR_SIGN_CERT,
#                 right for a self-signed certificate or a file holding the whole
#                 chain up to its root)
#   KR_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server
set -euo pipefail

krpack=""
if [ "${1:-}" = "--krpack" ]; then
  krpack=$2
  shift 2
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--krpack KRPACK] EXE DIST" >&2
  exit 2
fi
exe=$1
dist=$2
name=KrEFM8SwUpgrade.exe
cert=${KR_SIGN_CERT:-}
key=${KR_SIGN_KEY:-}

fail() {
  echo "release: $*" >&2
  exit 1
}

[ -f "$exe" ] || fail "no executable at $exe"
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
  fail "signing needs both KR_SIGN_CERT and KR_SIGN_KEY"
fi

mkdir -p "$dist"
rm -f "$dist/$name" "$dist/SHA256SUMS"
partial="$dist/$name.partial"
trap 'rm -f "$partial"' EXIT

if [ -n "$cert" ]; then
  command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (make setup installs it)"
  sign=(osslsigncode sign -certs "$cert" -key "$key" -h sha256
        -n "DOCK Firmware Update Tool" -in "$exe" -out "$partial")
  [ -z "${KR_SIGN_PASS:-}" ] || sign+=(-readpass "$KR_SIGN_PASS")
  [ -z "${KR_SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$KR_SIGN_TIMESTAMP_URL")
  "${sign[@]}" >/dev/null || fail "osslsigncode could not sign $exe"
  osslsigncode verify -in "$partial" -CAfile "${KR_SIGN_CA:-$cert}" >/dev/null ||
    fail "the signature of the signed copy does not verify"
else
  cp "$exe" "$partial"
fi

# The loader's own view: a signed copy must still carry its package.
if [ -n "$krpack" ]; then
  "$krpack" show "$partial" >/dev/null || fail "the update tool would not find its package in the release"
fi

mv "$partial" "$dist/$name"
(cd "$dist" && sha256sum "$name" >SHA256SUMS)
if [ -n "$cert" ]; then
  echo "Signed release: $dist/$name ($(cut -c1-16 "$dist/SHA256SUMS")...)"
else
  echo "Unsigned release: KR_SIGN_CERT and KR_SIGN_KEY were not given, so $dist/$name is not signed."
fi
