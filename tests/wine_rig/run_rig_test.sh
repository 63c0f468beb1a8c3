#!/usr/bin/env bash
# Runs a program under Wine against docksim, with the stand-in hid.dll and
# setupapi.dll beside it, on a display of its own.
#
# Usage: run_rig_test.sh --build DIR --name NAME --docksim EXE --dll DLL...
#                        --client EXE CASE
#   The rig's client test runs CASE; it starts docksim itself.
# Exit status: 0 when every check passed.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR source=../wine/wine-session.sh
source "$source_dir/tests/wine/wine-session.sh"

build="" name="" docksim="" client="" case_name=""
dlls=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --docksim) docksim="$2"; shift 2 ;;
    --dll) dlls+=("$2"); shift 2 ;;
    --client) client="$2"; case_name="$3"; shift 3 ;;
    *) echo "run_rig_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ] || [ -z "$name" ] || [ -z "$docksim" ] || [ -z "$client" ]; then
  echo "run_rig_test: --build, --name, --docksim and --client are required" >&2
  exit 2
fi
for f in "$docksim" "$client" "${dlls[@]}"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

build="$(cd "$build" && pwd)"
workdir="$build/wine-tests/$name"
rm -rf "$workdir"
mkdir -p "$workdir"
cp "$docksim" "$client" "${dlls[@]}" "$workdir/"

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine ""
  kr_stop_xvfb
}
trap cleanup EXIT

if ! kr_start_xvfb "$workdir"; then
  echo "FAIL setup: Xvfb did not start"
  exit 1
fi
if ! kr_lock_prefix "$build/wineprefix"; then
  echo "FAIL setup: the Wine prefix stayed busy with another run"
  exit 1
fi
kr_wine_prefix "$build/wineprefix"
kr_wine_frames wine
# The stand-ins beside the program come first; every other program of the
# session, which has none beside it, keeps Wine's own DLLs.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hid,setupapi=n,b"
echo "info setup: Xvfb on $DISPLAY, prefix $WINEPREFIX"

(cd "$workdir" && exec timeout 150 wine "./$(basename "$client")" "$case_name")
status=$?
[ "$status" -eq 124 ] && echo "FAIL $case_name: the client did not end within 150 s"
exit $status
