#!/usr/bin/env bash
# Runs the tool under Wine on a display of its own, checks its window from
# outside with the probe, keeps a screenshot and closes the tool.
#
# Usage: run_wine_test.sh --build DIR --probe PROBE_EXE --name NAME --exe TOOL_EXE
#                         [--set-byte OFFSET FROM TO] [--folder SUBDIR] [--look CONTROL]...
#                         [--plant DLL]...
#                         -- PROBE_OPTION...
#   The tool runs from a copy in DIR/wine-tests/NAME (or in SUBDIR below it,
#   given with slashes, for a deeply placed tool), so a test may damage its
#   copy (--set-byte: the byte at OFFSET, counted from the end when negative,
#   must read FROM and is made TO) without touching the built file.
#   --plant puts DLL beside the copy, where it must never be loaded: a planted
#   library that is loaded leaves DLL.loaded beside itself. Wine then looks
#   for files of the planted names before its own built-in libraries, as
#   Windows does.
#   The probe first checks the copy's dialog resource, then PROBE_OPTION...;
#   the screenshot goes to DIR/artifacts/NAME.png. Each --look CONTROL has
#   the probe check that picture where CONTROL is: its whole text on one line
#   over the dialog's background picture, and that picture everywhere else.
# Exit status: 0 when every check passed.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"
# shellcheck source-path=SCRIPTDIR source=wine-session.sh
source "$here/wine-session.sh"

build="" probe="" name="" exe="" folder="" patch_offset="" patch_from="" patch_to=""
look_options=()
planted=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --probe) probe="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    --folder) folder="$2"; shift 2 ;;
    --set-byte) patch_offset="$2"; patch_from="$3"; patch_to="$4"; shift 4 ;;
    --look) look_options+=(--expect-line-on-artwork "$2"); shift 2 ;;
    --plant) planted+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "run_wine_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
probe_options=("$@")
if [ -z "$build" ] || [ -z "$probe" ] || [ -z "$name" ] || [ -z "$exe" ]; then
  echo "run_wine_test: --build, --probe, --name and --exe are required" >&2
  exit 2
fi
for f in "$probe" "$exe" "${planted[@]}"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

build="$(cd "$build" && pwd)"
artifacts="$build/artifacts"
workdir="$build/wine-tests/$name"
rm -rf "$workdir"
mkdir -p "$artifacts" "$workdir/$folder"
tool="$workdir/$folder/$(basename "$exe")"
cp "$exe" "$tool"
for library in "${planted[@]}"; do
  cp "$library" "$workdir/$folder/"
done

if [ -n "$patch_offset" ]; then
  size=$(stat -c %s "$tool")
  offset=$patch_offset
  [ "$offset" -lt 0 ] && offset=$((size + offset))
  found=$(dd if="$tool" bs=1 skip="$offset" count=1 status=none)
  if [ "$found" != "$patch_from" ]; then
    echo "FAIL setup: byte $offset of $(basename "$exe") is '$found', expected '$patch_from'"
    exit 1
  fi
  printf '%s' "$patch_to" | dd of="$tool" bs=1 seek="$offset" conv=notrunc status=none
  echo "info setup: byte $offset changed from '$patch_from' to '$patch_to'"
fi

tool_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine "$tool_pid"
  kr_stop_xvfb
}
trap cleanup EXIT

kr_wine_session "$workdir" "$build/wineprefix" || exit 1
if [ ${#planted[@]} -gt 0 ]; then
  # Windows takes the first file of a library's name that it finds, looking
  # beside the program first. Wine prefers its own built-in copy wherever a
  # file lies; told to prefer files, it searches as Windows does.
  names=()
  for library in "${planted[@]}"; do
    names+=("$(basename "$library" .dll)")
  done
  overrides="${names[*]}"
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;${overrides// /,}=n,b"
fi
echo "info setup: Xvfb on $DISPLAY, prefix $WINEPREFIX"

status=0
kr_start_tool "$workdir" "$probe" "$tool" || status=1
tool_pid=$KR_TOOL_PID
# Wine loads no file for its resources from deeper than the classic path
# limit, so a deeply placed copy is checked through its window only; its
# resources are those of the shallow copies the other tests check.
resource_check=(--exe "$(kr_windows_path "$tool")")
if [ ${#resource_check[1]} -ge 260 ]; then
  resource_check=()
  echo "info setup: the copy lies deeper than 259 characters; its resource is not checked"
fi
kr_probe "$probe" "${resource_check[@]}" "${probe_options[@]}" || status=1

# The probe has waited until the tool was idle, so the window is painted.
shot="$artifacts/$name.png"
kr_shoot_and_close "$shot" "$probe" "$tool_pid" "${look_options[@]}" || status=1

# The tool has ended: whatever it loaded has run its start-up code.
for library in "${planted[@]}"; do
  file="$(basename "$library")"
  # Named as the loader asked for the library, in whatever case.
  if [ -n "$(find "$workdir/$folder" -maxdepth 1 -iname "$file.loaded")" ]; then
    echo "FAIL planted: the tool loaded the $file placed beside it"
    status=1
  else
    echo "ok planted: the $file placed beside it was not loaded"
  fi
done
exit $status
