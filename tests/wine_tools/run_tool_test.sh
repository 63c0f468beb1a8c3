#!/usr/bin/env bash
# Runs one case of the tool runner's Windows test under Wine: a copy of the
# program in a folder of its own with the stand-in tools beside it, started by
# its full path from another folder.
#
# Usage: run_tool_test.sh --build DIR --program EXE --case NAME
#                         [--program-dir NAME] [--tools both|hub|none]
#   The program's folder is DIR/wine_tools-work/CASE/NAME ("program" by
#   default), the current directory DIR/wine_tools-work/CASE/elsewhere;
#   --tools says which stand-ins are copied into the Tool and Tool\Mega
#   folders beside the program.
#   Every process the case leaves in the Wine prefix (a stand-in that never
#   ends) is ended afterwards.
# Exit status: the case's, or 124 when it did not end within its time.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"

build="" program="" case_name="" program_name="program" tools="both"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --program) program="$2"; shift 2 ;;
    --case) case_name="$2"; shift 2 ;;
    --program-dir) program_name="$2"; shift 2 ;;
    --tools) tools="$2"; shift 2 ;;
    *) echo "run_tool_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ] || [ -z "$program" ] || [ -z "$case_name" ]; then
  echo "run_tool_test: --build, --program and --case are required" >&2
  exit 2
fi

build="$(cd "$build" && pwd)"
hub_tool="$build/Tool/GL352xISP.exe"
dp_tool="$build/Tool/Mega/McdpIsp.exe"
for f in "$program" "$hub_tool" "$dp_tool"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

work="$build/wine_tools-work/$case_name"
folder="$work/$program_name"
elsewhere="$work/elsewhere"
rm -rf "$work"
mkdir -p "$folder" "$elsewhere"
cp "$program" "$folder/"
case "$tools" in
  both) mkdir -p "$folder/Tool/Mega"; cp "$hub_tool" "$folder/Tool/"; cp "$dp_tool" "$folder/Tool/Mega/" ;;
  hub) mkdir -p "$folder/Tool"; cp "$hub_tool" "$folder/Tool/" ;;
  none) ;;
  *) echo "run_tool_test: --tools takes both, hub or none" >&2; exit 2 ;;
esac

kr_wine_prefix "$build/wineprefix-tools"
# The stand-ins answer as a healthy dock would unless a case says otherwise.
unset KR_STANDIN_HUB_MODE KR_STANDIN_DP_MODE KR_STANDIN_HUB_EXIT_CODE KR_STANDIN_DP_VERSION \
      KR_STANDIN_FLOOD_LINES KR_STANDIN_READY_EVENT

(cd "$elsewhere" && exec timeout 100 wine "$folder/$(basename "$program")" "$case_name")
status=$?
[ "$status" -eq 124 ] && echo "FAIL $case_name: the test program did not end within 100 s"
wineserver -k
exit $status
