#!/usr/bin/env bash
# Reads the version information back out of the built executable, as file
# properties and inventories read it, and checks every field against the
# tool's version from the build.
#
# Usage: version_resource_test.sh --windres WINDRES --exe EXE --version X.Y.Z.W
set -uo pipefail

windres="" exe="" version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --windres) windres="$2"; shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    --version) version="$2"; shift 2 ;;
    *) echo "version_resource_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$windres" ] || [ -z "$exe" ] || [ -z "$version" ]; then
  echo "version_resource_test: --windres, --exe and --version are required" >&2
  exit 2
fi

resources=$("$windres" -i "$exe" -O rc 2>&1) || { echo "FAIL setup: $windres cannot read $exe"; exit 1; }
info=$(sed -n '/VERSIONINFO/,/^END/p' <<<"$resources")
echo "$info"

failures=0
expect() {
  if grep -qxF -- "$1" <<<"$(sed 's/^ *//' <<<"$info")"; then
    echo "PASS $1"
  else
    echo "FAIL missing: $1"
    failures=$((failures + 1))
  fi
}
numbers=${version//./, }
expect "FILEVERSION $numbers"
expect "PRODUCTVERSION $numbers"
expect "FILETYPE 0x1"
expect "VALUE \"FileDescription\", \"DOCK Firmware Update Tool\""
expect "VALUE \"FileVersion\", \"$version\""
expect "VALUE \"ProductName\", \"DOCK Firmware Update Tool\""
expect "VALUE \"ProductVersion\", \"$version\""
expect "VALUE \"OriginalFilename\", \"KrEFM8SwUpgrade.exe\""
expect "VALUE \"InternalName\", \"KrEFM8SwUpgrade\""
expect "VALUE \"Translation\", 0x409, 1200"
[ "$failures" -eq 0 ]
