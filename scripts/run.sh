#!/usr/bin/env bash
# Shows the product: the shipped executable under Wine, in a prefix of its own
# (build/windows/wineprefix-run), against the simulated dock (docksim behind
# stand-in hid.dll and setupapi.dll in the prefix's system folder) and the
# stand-in vendor tools. The dock answers about once per millisecond, like a
# real one, so progress can be watched. On a usable display a person drives it;
# without one the demo runs itself through "FW Ver", start, the restart into
# the bootloader and PASS on a virtual display, with a screenshot at each stage
# in build/windows/artifacts/.
#
# run.sh --screenshots DIR runs that headless demo even where a display is
# set, and keeps each stage's picture cropped to the dialog as
# DIR/window-STAGE.png, for the README (make screenshots).
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"
probe="$build/tests/wine/probe.exe"
pieces=("$build/KrEFM8SwUpgrade.exe" "$build/testbed/rig/docksim/docksim.exe")
stand_ins=("$build/testbed/rig/stub_dlls/hid.dll" "$build/testbed/rig/stub_dlls/setupapi.dll")
# shellcheck source-path=SCRIPTDIR source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"
shots=""
if [ "${1:-}" = --screenshots ] && [ -n "${2:-}" ]; then
  mkdir -p "$2" && shots="$(cd "$2" && pwd)"
fi
# shellcheck source-path=SCRIPTDIR source=../tests/wine/wine-session.sh
source "$root/tests/wine/wine-session.sh"

for f in "${pieces[@]}" "${stand_ins[@]}" "$probe" "$build/Tool/GL352xISP.exe"; do
  if [ ! -f "$f" ]; then
    echo "run: $f is missing; build the windows preset first" >&2
    exit 1
  fi
done

# The tool finds its vendor tools in Tool beside itself; it takes the
# stand-in DLLs from the prefix's system folder, like the system's.
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo" "$build/artifacts"
cp "${pieces[@]}" "$demo/"
cp -r "$build/Tool" "$demo/Tool"
cd "$demo" || exit 1

tool_pid="" docksim_pid=""
with_xvfb=0
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  [ -n "$docksim_pid" ] && wine ./docksim.exe --send quit >/dev/null 2>&1
  kr_end_wine "$tool_pid"
  [ "$with_xvfb" -eq 1 ] && kr_stop_xvfb
}
trap cleanup EXIT

on_display=0
if [ -z "$shots" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  on_display=1
else
  echo "No usable display: the demo runs itself on a virtual one."
  if ! kr_start_xvfb "$build"; then
    echo "run: Xvfb did not start" >&2
    exit 1
  fi
  with_xvfb=1
fi
if ! kr_lock_prefix "$build/wineprefix-run"; then
  echo "run: the Wine prefix stayed busy with another run" >&2
  exit 1
fi
kr_wine_prefix "$build/wineprefix-run"
if [ "$on_display" -eq 1 ]; then kr_wine_frames desktop; else kr_wine_frames wine; fi
if ! kr_install_stand_ins KrEFM8SwUpgrade.exe "${stand_ins[@]}"; then
  echo "run: the stand-in DLLs could not be installed in $WINEPREFIX" >&2
  exit 1
fi

wine ./docksim.exe --answer-delay-us 1000 --unplugged >"$demo/docksim.log" 2>&1 &
docksim_pid=$!
if ! wine ./docksim.exe --send status >/dev/null; then
  echo "run: the simulated dock did not start" >&2
  exit 1
fi
kr_start_tool "$demo" "$probe" ./KrEFM8SwUpgrade.exe >"$demo/start.probe.log"
started=$?
tool_pid=$KR_TOOL_PID
if [ "$started" -ne 0 ]; then
  cat "$demo/start.probe.log"
  exit 1
fi
# The dock is plugged in once the window is up, as a technician would.
wine ./docksim.exe --send plug >/dev/null

if [ "$on_display" -eq 1 ]; then
  echo "KrEFM8SwUpgrade.exe runs on $DISPLAY against the simulated dock; press FW Ver, then start."
  echo "Close its window to end the demo."
  wait "$tool_pid"
  tool_pid=""
  exit 0
fi

status=0
stage() {
  local name=$1
  shift
  echo "--- $name"
  kr_probe "$probe" "$@" >"$demo/$name.probe.log" 2>&1 || { status=1; cat "$demo/$name.probe.log"; }
  if kr_screenshot "$build/artifacts/run-$name.png"; then
    echo "screenshot: $build/artifacts/run-$name.png"
    [ -n "$shots" ] && { keep_dialog "$build/artifacts/run-$name.png" "$shots/window-$name.png" || status=1; }
  else
    status=1
  fi
}
# keep_dialog SCREEN PNG: the dialog's part of the screen, without anything
# that changes from one run to the next but the window itself.
keep_dialog() {
  local geometry size
  geometry=$(xwininfo -display "$DISPLAY" -name "DOCK Firmware Update Tool" | awk '
    /Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 }
    END { if (w) print w "x" h "+" x "+" y }')
  if [ -z "$geometry" ]; then
    echo "run: the dialog's window was not found for $2" >&2
    return 1
  fi
  convert "$1" -crop "$geometry" +repage -strip -define png:exclude-chunks=date,time "$2" || return 1
  size=$(stat -c %s "$2")
  if [ "$size" -ge 153600 ]; then
    echo "run: $2 holds $size bytes, more than 150 KB" >&2
    return 1
  fi
  echo "picture: $2 ($geometry, $size bytes)"
}
# The dock's arrival is checked first, with every button off meanwhile; the
# demo waits for that check's offer, however loaded the machine, before it
# presses "FW Ver". The offer awaited next is the one that follows the hub
# and DisplayPort checks of "FW Ver".
stage 1-offer --timeout 60 --expect-enabled start --expect-enabled fwver --click fwver --timeout 40 \
  --expect-log-match "[\\s\\S]*HUB FW is 0x8720\\r\\nPegasus App:[^\\r]*\\r\\nEngineer file version!" \
  --expect-enabled start
# The picture of the writing shows the cylinder well under way: it is taken
# as soon as an image's transfer stands between 20 % and 45 %, and the next
# percent takes tens of milliseconds.
stage 2-writing --click start --timeout 60 --expect-progress 20-45
stage 3-pass --timeout 240 --answer-message "Please, power reset device! ?" --expect-result PASS \
  --expect-progress 100
echo "--- the log"
wine "$probe" --describe 2>/dev/null | tr -d '\r' | sed -n 's/^info log: .* text "\(.*\)"$/\1/p' | sed 's/\\r\\n/\n/g'
kr_probe "$probe" --close >/dev/null || status=1
if kr_wait_for_exit "$tool_pid"; then
  tool_pid=""
else
  echo "run: the tool did not end after it was closed" >&2
  status=1
fi
exit $status
