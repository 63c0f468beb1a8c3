#!/usr/bin/env bash
# Runs a program under Wine against docksim, with the stand-in hid.dll and
# setupapi.dll beside it, on a display of its own.
#
# Usage: run_rig_test.sh --build DIR --name NAME --docksim EXE --dll DLL...
#                        --client EXE CASE
#   The rig's client test runs CASE; it starts docksim itself.
#
#        run_rig_test.sh --build DIR --name NAME --docksim EXE --dll DLL...
#                        --tool EXE --probe PROBE_EXE [--vendor-tools DIR]
#                        [--docksim-option OPTION]... [--send-when-idle REQUEST]...
#                        [--expect-chips IMAGE_DIR] -- PROBE_OPTION...
#   docksim starts with the options given, then the tool; once the tool is
#   idle each REQUEST goes to docksim (e.g. plug), then the probe checks
#   PROBE_OPTION... and closes the tool. --vendor-tools copies the stand-in
#   vendor tools (DIR holds GL352xISP.exe and Mega/McdpIsp.exe) below the
#   tool's folder. --expect-chips compares what the dock's chips hold at the
#   end with the package's images in IMAGE_DIR (chip 1: image4.bin, chip 2:
#   image1.bin and image2.bin, chip 3: image0.bin). docksim's messages and
#   the dump go to DIR/wine-tests/NAME, the screenshot to DIR/artifacts.
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

build="" name="" docksim="" client="" case_name="" tool="" probe="" vendor_tools="" images=""
dlls=() docksim_options=() requests=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --docksim) docksim="$2"; shift 2 ;;
    --dll) dlls+=("$2"); shift 2 ;;
    --client) client="$2"; case_name="$3"; shift 3 ;;
    --tool) tool="$2"; shift 2 ;;
    --probe) probe="$2"; shift 2 ;;
    --vendor-tools) vendor_tools="$2"; shift 2 ;;
    --docksim-option) docksim_options+=("$2"); shift 2 ;;
    --send-when-idle) requests+=("$2"); shift 2 ;;
    --expect-chips) images="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "run_rig_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
probe_options=("$@")
if [ -z "$build" ] || [ -z "$name" ] || [ -z "$docksim" ] ||
   { [ -z "$client" ] && { [ -z "$tool" ] || [ -z "$probe" ]; }; }; then
  echo "run_rig_test: --build, --name, --docksim and --client or --tool with --probe are required" >&2
  exit 2
fi
program="${client:-$tool}"
for f in "$docksim" "$program" "${dlls[@]}" ${probe:+"$probe"}; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

build="$(cd "$build" && pwd)"
workdir="$build/wine-tests/$name"
rm -rf "$workdir"
mkdir -p "$workdir"
cp "$docksim" "$program" "${dlls[@]}" "$workdir/"
if [ -n "$vendor_tools" ]; then
  cp -r "$vendor_tools" "$workdir/Tool"
fi

tool_pid="" docksim_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine "$tool_pid"
  kr_stop_xvfb
}
trap cleanup EXIT

kr_wine_session "$workdir" "$build/wineprefix" || exit 1
# The stand-ins beside the program come first. Every other program of the
# session has none beside it and keeps Wine's own DLLs: with "n" alone the
# session's services.exe, which needs setupapi.dll, would not start.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hid,setupapi=n,b"
echo "info setup: Xvfb on $DISPLAY, prefix $WINEPREFIX"

if [ -n "$client" ]; then
  (cd "$workdir" && exec timeout 150 wine "./$(basename "$client")" "$case_name")
  status=$?
  [ "$status" -eq 124 ] && echo "FAIL $case_name: the client did not end within 150 s"
  exit $status
fi

# docksim in the tool's folder, as the stand-ins' counterpart.
docksim_send() {
  (cd "$workdir" && wine ./docksim.exe --send "$1")
}
dump_dir="$workdir/chips"
(cd "$workdir" && exec wine ./docksim.exe --dump-dir "$(kr_windows_path "$workdir")\\chips" \
   "${docksim_options[@]}") >"$workdir/docksim.log" 2>&1 &
docksim_pid=$!
if ! docksim_send status >/dev/null; then
  echo "FAIL setup: docksim did not start"
  sed 's/^/info docksim: /' "$workdir/docksim.log"
  exit 1
fi
echo "ok setup: docksim serves the dock"

(cd "$workdir" && exec wine "./$(basename "$tool")") &
tool_pid=$!

status=0
if [ ${#requests[@]} -gt 0 ]; then
  wine "$probe" --wait || status=1
  for request in "${requests[@]}"; do
    if docksim_send "$request" >/dev/null; then
      echo "ok docksim: $request"
    else
      echo "FAIL docksim: $request"
      status=1
    fi
  done
fi
wine "$probe" "${probe_options[@]}" || status=1

shot="$build/artifacts/$name.png"
mkdir -p "$build/artifacts"
kr_shoot_and_close "$shot" "$probe" "$tool_pid" || status=1

if docksim_send quit >/dev/null && kr_wait_for_exit "$docksim_pid"; then
  echo "ok docksim: quit, the chips' contents are in $dump_dir"
else
  echo "FAIL docksim: did not quit"
  status=1
fi
sed 's/^/info docksim: /' "$workdir/docksim.log"

if [ -n "$images" ]; then
  for pair in chip1.bin:image4.bin chip2-1.bin:image1.bin chip2-2.bin:image2.bin \
              chip3.bin:image0.bin; do
    chip="${pair%%:*}" image="${pair##*:}"
    if cmp -s "$dump_dir/$chip" "$images/$image"; then
      echo "ok chips: $chip holds $image ($(stat -c %s "$images/$image") bytes)"
    else
      echo "FAIL chips: $chip differs from $image"
      status=1
    fi
  done
  if [ -f "$dump_dir/chip2-3.bin" ]; then
    echo "FAIL chips: chip 2 received more than two files"
    status=1
  fi
  if grep -q '^protocol-error=' "$dump_dir/summary.txt"; then
    echo "FAIL chips: the dock saw protocol errors"
    status=1
  fi
fi
exit $status
