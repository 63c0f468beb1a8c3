#!/usr/bin/env bash
# Runs the release script on the shipped executable, unsigned or signed with a
# throwaway self-signed certificate made for this run, and checks what it
# wrote: the digest file, the signature, and that the tool's own loader still
# finds the package in the signed copy, exactly where it was before signing.
#
# Usage: release_test.sh --exe SHIPPED_EXE --bare BARE_EXE --krpack HOST_KRPACK --work DIR
#                        (--unsigned | --signed)
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
release="$here/../../scripts/release.sh"

exe="" bare="" krpack="" work="" mode=""
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe="$2"; shift 2 ;;
    --bare) bare="$2"; shift 2 ;;
    --krpack) krpack="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --unsigned | --signed) mode="${1#--}"; shift ;;
    *) echo "release_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$exe" ] || [ -z "$bare" ] || [ -z "$krpack" ] || [ -z "$work" ] || [ -z "$mode" ]; then
  echo "release_test: --exe, --bare, --krpack, --work and --unsigned or --signed are required" >&2
  exit 2
fi

failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, reports WHAT as PASS or FAIL
  local what=$1
  shift
  if "$@"; then
    echo "PASS $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}
contains() { grep -qF -- "$2" <<<"$1"; }

rm -rf "$work"
mkdir -p "$work"
dist="$work/dist"
name=KrEFM8SwUpgrade.exe
size=$(stat -c %s "$exe")
sample="$(dirname "$exe")/sample-package"
unsigned_show=$("$krpack" show "$exe") || { echo "FAIL setup: krpack show $exe"; exit 1; }

if [ "$mode" = unsigned ]; then
  output=$(env -u KR_SIGN_CERT -u KR_SIGN_KEY bash "$release" --krpack "$krpack" "$exe" "$dist" 2>&1)
  status=$?
  echo "$output"
  check "the release script succeeds" [ "$status" -eq 0 ]
  check "it says the release is unsigned" contains "$output" "Unsigned release"
  check "the released file is the shipped file" cmp -s "$exe" "$dist/$name"
  check "SHA256SUMS matches the released file" bash -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"
  show=$("$krpack" show "$dist/$name")
  check "krpack show says it is not signed" contains "$show" "signature      none"

  # Half a signing set is a mistake, not an unsigned release.
  output=$(KR_SIGN_CERT=/nonexistent.pem bash "$release" "$exe" "$work/half" 2>&1)
  status=$?
  check "a certificate without a key is refused" [ "$status" -ne 0 ]
  check "the refusal names both variables" contains "$output" "KR_SIGN_CERT and KR_SIGN_KEY"
  check "the refusal writes nothing" [ ! -e "$work/half/$name" ]
else
  # A throwaway code-signing certificate, made for this run only.
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway test signer" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    >/dev/null 2>&1 || { echo "FAIL setup: openssl could not make a certificate"; exit 1; }
  output=$(KR_SIGN_CERT="$work/cert.pem" KR_SIGN_KEY="$work/key.pem" \
    bash "$release" --krpack "$krpack" "$exe" "$dist" 2>&1)
  status=$?
  echo "$output"
  check "the release script succeeds" [ "$status" -eq 0 ]
  check "it says the release is signed" contains "$output" "Signed release"
  check "SHA256SUMS matches the released file" bash -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"
  check "osslsigncode verifies the signature" \
    bash -c "osslsigncode verify -in '$dist/$name' -CAfile '$work/cert.pem' >/dev/null"

  # The signer appends the table after the package, aligned to 8 bytes.
  padding=$(( (8 - size % 8) % 8 ))
  show=$("$krpack" show "$dist/$name")
  status=$?
  echo "$show"
  check "the loader finds the package in the signed copy" [ "$status" -eq 0 ]
  check "krpack show says where the certificate table is" \
    contains "$show" "signature      certificate table at $((size + padding)),"
  check "the package ends where it ended before signing" \
    contains "$show" "package end    at $size, $padding bytes of padding before the certificate table"
  # Every record, image, sum and the version text read as in the unsigned file.
  same=1
  while IFS= read -r line; do
    case "$line" in
      "record "* | "image "* | "code version"* | "vendor ID"* | "product ID"* | "update plan"* | "version text"*)
        contains "$show" "$line" || { echo "  missing in the signed copy: $line"; same=0; } ;;
    esac
  done <<<"$unsigned_show"
  check "the image table is the unsigned file's" [ "$same" -eq 1 ]

  # The shipped file's size may happen to be a multiple of 8, or anything
  # else; a package with image 3 shortened until the file is 5 bytes short of
  # a multiple of 8 makes the signer put 5 bytes of padding before the table,
  # and the loader must step over them.
  short=$(( 512 - (size + 5) % 8 ))
  head -c "$short" "$sample/image3.bin" >"$work/image3-short.bin"
  "$krpack" append --exe "$bare" --record-file "$sample/record.txt" --out "$work/unaligned.exe" \
    "$sample"/image{0,1,2}.bin "$work/image3-short.bin" "$sample/image4.bin" >/dev/null &&
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 \
      -in "$work/unaligned.exe" -out "$work/unaligned-signed.exe" >/dev/null ||
    { echo "FAIL setup: could not build and sign the unaligned copy"; exit 1; }
  unaligned=$(stat -c %s "$work/unaligned.exe")
  show=$("$krpack" show "$work/unaligned-signed.exe")
  status=$?
  echo "$show"
  check "the unaligned package is 5 bytes short of a multiple of 8" [ $((unaligned % 8)) -eq 3 ]
  check "the loader finds the package before 5 bytes of padding" [ "$status" -eq 0 ]
  check "krpack show names the 5 bytes of padding" \
    contains "$show" "package end    at $unaligned, 5 bytes of padding before the certificate table"
  check "image 3 is $short bytes" contains "$show" ", $short bytes"

  # Signing comes last: a signed executable takes no package.
  output=$("$krpack" append --exe "$dist/$name" --record-file "$sample/record.txt" \
    --out "$work/appended.exe" "$sample"/image{0,1,2,3,4}.bin 2>&1)
  status=$?
  echo "$output"
  check "krpack append refuses the signed executable" [ "$status" -eq 1 ]
  check "the refusal says to append first and sign after" \
    contains "$output" "append the package to the unsigned executable first, then sign"
  check "the refusal writes nothing" [ ! -e "$work/appended.exe" ]
fi

[ "$failures" -eq 0 ]
