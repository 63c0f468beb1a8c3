#!/usr/bin/env bash
# Builds the shipped executable a second time, from a copy of the source tree
# in another folder, and compares the SHA-256 digests of the two executables:
# the same source gives the same bytes wherever it is built.
#
# Usage: reproducible_build_test.sh --source SOURCE_DIR --exe SHIPPED_EXE --work DIR
set -uo pipefail

source_dir="" exe="" work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --source) source_dir="$2"; shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    *) echo "reproducible_build_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$source_dir" ] || [ -z "$exe" ] || [ -z "$work" ]; then
  echo "reproducible_build_test: --source, --exe and --work are required" >&2
  exit 2
fi

# A folder of another name and depth than the first build's.
copy="$work/elsewhere/another-checkout"
rm -rf "$work"
mkdir -p "$copy"
# The files of the tree as they stand, tracked or new, without the ignored
# build folders.
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 -I{} sh -c 'test -e "$1" && printf "%s\0" "$1"' _ {} |
  tar --null -T - -cf -) | tar -xf - -C "$copy" ||
  { echo "FAIL setup: could not copy the source tree"; exit 1; }

# Only what the shipped executable needs, with the first build's own preset.
if ! (cd "$copy" && cmake --preset windows >"$work/configure.log" 2>&1 &&
      cmake --build --preset windows --target KrEFM8SwUpgrade >"$work/build.log" 2>&1); then
  echo "FAIL setup: the second build failed (see $work/configure.log and $work/build.log)"
  tail -n 20 "$work/build.log" 2>/dev/null
  exit 1
fi

second="$copy/build/windows/KrEFM8SwUpgrade.exe"
first_sum=$(sha256sum <"$exe" | cut -d' ' -f1)
second_sum=$(sha256sum <"$second" | cut -d' ' -f1)
echo "info first build:  $first_sum  $exe"
echo "info second build: $second_sum  $second"
if [ "$first_sum" != "$second_sum" ]; then
  echo "FAIL the two builds differ; first differing bytes (offset, first, second, octal):"
  cmp -l "$exe" "$second" | head -n 10
  exit 1
fi
echo "PASS the two builds are byte-identical"
rm -rf "$work"
