#!/usr/bin/env bash
# Starts the tool where Wine can create no window at all (no display) and
# checks that it ends with the exit code of a dialog that could not be shown,
# not with the 0 of a tool its user closed.
#
# Usage: run_without_display.sh --build DIR --exe TOOL_EXE
#   Uses the display-less Wine prefix of the vendor tool runner's tests.
# Exit status: 0 when the tool ended with 1 within 60 s.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended, and no display is.
unset WINEPREFIX DISPLAY WAYLAND_DISPLAY

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"

build="" exe=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    *) echo "run_without_display: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ] || [ ! -f "$exe" ]; then
  echo "run_without_display: --build and an existing --exe are required" >&2
  exit 2
fi

build="$(cd "$build" && pwd)"
workdir="$build/wine-tests/without_display"
rm -rf "$workdir"
mkdir -p "$workdir"
cp "$exe" "$workdir/"

kr_wine_prefix "$build/wineprefix-tools"
(cd "$workdir" && exec timeout 60 wine "./$(basename "$exe")") 2>"$workdir/wine.log"
status=$?
timeout 30 wineserver -w || wineserver -k

if [ "$status" -eq 1 ]; then
  echo "ok exit code: 1, the dialog could not be shown"
  exit 0
fi
echo "FAIL exit code: $status (expected 1, the dialog could not be shown)"
sed 's/^/info wine: /' "$workdir/wine.log"
exit 1
