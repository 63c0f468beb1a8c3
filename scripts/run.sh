#!/usr/bin/env bash
# Shows the product: the shipped executable under Wine, in a prefix of its own
# (build/windows/wineprefix-run). On a usable display it runs there for a
# person to use; without one it runs on a virtual display, and a screenshot
# in build/windows/artifacts/run.png shows what came up.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"
exe="$build/KrEFM8SwUpgrade.exe"
probe="$build/tests/wine/probe.exe"
# shellcheck source-path=SCRIPTDIR source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR source=../tests/wine/wine-session.sh
source "$root/tests/wine/wine-session.sh"

for f in "$exe" "$probe"; do
  if [ ! -f "$f" ]; then
    echo "run: $f is missing; build the windows preset first" >&2
    exit 1
  fi
done

# The tool finds its vendor tools relative to the folder it starts in.
cd "$build" || exit 1

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  kr_wine_prefix "$build/wineprefix-run"
  kr_wine_frames desktop
  echo "Starting $(basename "$exe") on display $DISPLAY; close its window to end."
  exec wine "$exe"
fi

echo "No usable display: running on a virtual one and taking a screenshot."
tool_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine "$tool_pid"
  kr_stop_xvfb
}
trap cleanup EXIT

mkdir -p "$build/artifacts"
if ! kr_start_xvfb "$build"; then
  echo "run: Xvfb did not start" >&2
  exit 1
fi
if ! kr_lock_prefix "$build/wineprefix-run"; then
  echo "run: the Wine prefix stayed busy with another run" >&2
  exit 1
fi
kr_wine_prefix "$build/wineprefix-run"
kr_wine_frames wine

wine "$exe" &
tool_pid=$!

status=0
# Waits for the dialog and prints what each control shows.
wine "$probe" --wait --describe || status=1
shot="$build/artifacts/run.png"
if kr_screenshot "$shot"; then
  echo "Screenshot of the running tool: $shot"
else
  echo "run: the screenshot $shot is missing or blank" >&2
  status=1
fi
wine "$probe" --close || status=1
if kr_wait_for_exit "$tool_pid"; then
  tool_pid=""
else
  echo "run: the tool did not end after it was closed" >&2
  status=1
fi
exit $status
