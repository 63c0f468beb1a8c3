#!/usr/bin/env bash
# Runs a program under Wine against docksim, with the stand-in hid.dll and
# setupapi.dll (the --dll files) in the system folder of the rig's own Wine
# prefix, on a display of its own.
#
# Usage: run_rig_test.sh --build DIR --name NAME --docksim EXE --dll DLL...
#                        --probe PROBE_EXE --client EXE CASE
#   The rig's client test runs CASE; it starts docksim itself. The probe only
#   readies the session's desktop.
#
#        run_rig_test.sh --build DIR --name NAME --docksim EXE --dll DLL...
#                        --tool EXE --probe PROBE_EXE [--vendor-tools DIR]
#                        [--docksim-option OPTION]... [--send-when-idle REQUEST]...
#                        [--expect-chips IMAGE_DIR | --expect-chip3-only IMAGE_DIR]
#                        -- PROBE_OPTION...
#   docksim starts with the options given, then the tool; once the tool is
#   idle each REQUEST goes to docksim (e.g. plug), then the probe checks
#   PROBE_OPTION... and closes the tool, unless one of them (--close) did.
#   Among the probe options, "--docksim-send REQUEST" sends REQUEST to docksim
#   at that point of the session (e.g. unplug while a message box is open).
#   --vendor-tools copies the stand-in vendor tools (DIR holds GL352xISP.exe
#   and Mega/McdpIsp.exe) below the tool's folder. --expect-chips compares
#   what the dock's chips hold at the end with the package's images in
#   IMAGE_DIR (chip 1: image4.bin, chip 2: image1.bin and image2.bin, chip 3:
#   image0.bin); --expect-chip3-only checks that chip 3 holds its image and
#   chips 1 and 2 received nothing. docksim's messages and the dump go to
#   DIR/wine-tests/NAME, the screenshot to DIR/artifacts.
#
#        run_rig_test.sh ... --tool EXE --silent [--tool-arg ARG]... --expect-exit N
#                        [--expect-output REGEX]... [--expect-log-file FILE REGEX]...
#                        [--window-first] [--expect-chips-untouched | --expect-chips ...]
#   The tool runs without a window with the arguments given (after the
#   REQUESTs went to docksim) and must end with exit code N; each REGEX must
#   match a line of what it printed, or of FILE in its folder. --window-first
#   starts the tool with its window before, and closes it after.
#   --expect-within MS: the tool must end within MS milliseconds.
#   --expect-no-process NAME: once it has ended, no process of that name runs.
#   --tool-arg and --expect-log-file also serve a tool run with its window.
#   --from SUBDIR starts the tool by its full path from SUBDIR below its
#   folder. --plant FILE SUBDIR puts FILE into SUBDIR of the tool's folder
#   ("." beside it), where it must never run: a planted program that runs
#   leaves FILE.ran beside itself. --remove PATH takes PATH (below the
#   tool's folder) away again, as from a broken installation.
#   --expect-data-runs FILE "N..." : the trace FILE in the tool's folder
#   holds runs of data packets of these lengths, in this order: each image's
#   packets, numbered from 1.
#   --expect-record NAME REGEX: the status record's value NAME (under HKLM,
#   where a run that Wine counts as elevated writes it) matches REGEX; the
#   record is cleared before the tool runs. --expect-default-log REGEX: a
#   line of the default log under C:\ProgramData matches REGEX; its folder
#   is removed before the tool runs. --wine-debug CHANNELS runs the silent
#   tool with WINEDEBUG=CHANNELS (the rig's prefix switches it off), and
#   --expect-debug REGEX / --expect-no-debug REGEX check what Wine printed
#   (also of a tool run with its window).
# Exit status: 0 when every check passed.
set -uo pipefail
# Only the prefix chosen below is ever touched or ended.
unset WINEPREFIX

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../scripts/wine-prefix.sh
source "$source_dir/scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"
# shellcheck source-path=SCRIPTDIR source=../wine/wine-session.sh
source "$source_dir/tests/wine/wine-session.sh"

build="" name="" docksim="" client="" case_name="" tool="" probe="" vendor_tools="" images=""
written=all silent=0 expected_exit="" window_first=0 from="" within_ms=""
dlls=() docksim_options=() requests=() tool_args=() output_patterns=() log_checks=() plants=()
data_run_checks=()
record_checks=() default_log_patterns=() debug_patterns=() no_debug_patterns=()
wine_debug=""
removals=() absent_processes=()
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
    --expect-chips) images="$2"; written=all; shift 2 ;;
    --expect-chip3-only) images="$2"; written=chip3; shift 2 ;;
    --expect-chips-untouched) written=none; shift ;;
    --silent) silent=1; shift ;;
    --tool-arg) tool_args+=("$2"); shift 2 ;;
    --expect-exit) expected_exit="$2"; shift 2 ;;
    --expect-output) output_patterns+=("$2"); shift 2 ;;
    --expect-log-file) log_checks+=("$2" "$3"); shift 3 ;;
    --expect-data-runs) data_run_checks+=("$2" "$3"); shift 3 ;;
    --window-first) window_first=1; shift ;;
    --from) from="$2"; shift 2 ;;
    --expect-within) within_ms="$2"; shift 2 ;;
    --expect-no-process) absent_processes+=("$2"); shift 2 ;;
    --plant) plants+=("$2" "$3"); shift 3 ;;
    --remove) removals+=("$2"); shift 2 ;;
    --expect-record) record_checks+=("$2" "$3"); shift 3 ;;
    --expect-default-log) default_log_patterns+=("$2"); shift 2 ;;
    --wine-debug) wine_debug="$2"; shift 2 ;;
    --expect-debug) debug_patterns+=("$2"); shift 2 ;;
    --expect-no-debug) no_debug_patterns+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "run_rig_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
probe_options=("$@")
if [ -z "$build" ] || [ -z "$name" ] || [ -z "$docksim" ] || [ -z "$probe" ] ||
   { [ -z "$client" ] && [ -z "$tool" ]; }; then
  echo "run_rig_test: --build, --name, --docksim, --probe and --client or --tool are required" >&2
  exit 2
fi
program="${client:-$tool}"
for f in "$docksim" "$program" "${dlls[@]}" "$probe"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f does not exist (build it first)"
    exit 1
  fi
done

build="$(cd "$build" && pwd)"
workdir="$build/wine-tests/$name"
rm -rf "$workdir"
mkdir -p "$workdir"
cp "$docksim" "$program" "$workdir/"
if [ -n "$vendor_tools" ]; then
  cp -r "$vendor_tools" "$workdir/Tool"
fi
set -- "${plants[@]}"
while [ $# -ge 2 ]; do
  mkdir -p "$workdir/$2"
  cp "$1" "$workdir/$2/"
  shift 2
done
for removal in "${removals[@]}"; do
  rm -f "$workdir/$removal"
done

tool_pid="" docksim_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  kr_end_wine "$tool_pid"
  kr_stop_xvfb
}
trap cleanup EXIT

# The rig's prefix is its own: the stand-ins it holds in its system folder
# must not answer the tests that need Wine's own HID libraries.
kr_wine_session "$workdir" "$build/wineprefix-rig" || exit 1
if ! kr_install_stand_ins "$(basename "$program")" "${dlls[@]}"; then
  echo "FAIL setup: the stand-in DLLs could not be installed in $WINEPREFIX"
  exit 1
fi
echo "info setup: Xvfb on $DISPLAY, prefix $WINEPREFIX with the stand-in DLLs"

# What earlier cases left in the shared prefix must not answer for this one.
record_key='HKLM\Software\DockFirmwareUpdate'
default_log_dir="$WINEPREFIX/drive_c/ProgramData/DockFirmwareUpdate"
if [ ${#record_checks[@]} -gt 0 ]; then
  wine reg delete "$record_key" /f >/dev/null 2>&1
fi
if [ ${#default_log_patterns[@]} -gt 0 ]; then
  rm -rf "$default_log_dir"
fi

if [ -n "$client" ]; then
  kr_ready_desktop "$probe" || exit 1
  (cd "$workdir" && exec timeout 150 wine "./$(basename "$client")" "$case_name")
  status=$?
  [ "$status" -eq 124 ] && echo "FAIL $case_name: the client did not end within 150 s"
  exit $status
fi

# docksim in the tool's folder.
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

send_request() {
  if docksim_send "$1" >/dev/null; then
    echo "ok docksim: $1"
  else
    echo "FAIL docksim: $1"
    return 1
  fi
}

# The tool without a window: its exit code, what it printed.
run_silent() {
  local status=0 request code pattern
  for request in "${requests[@]}"; do
    send_request "$request" || status=1
  done
  if [ "$window_first" -eq 1 ]; then
    kr_start_tool "$workdir" "$probe" "./$(basename "$tool")" || status=1
    tool_pid=$KR_TOOL_PID
  fi
  local start_dir="$workdir" program="./$(basename "$tool")"
  if [ -n "$from" ]; then
    start_dir="$workdir/$from"
    mkdir -p "$start_dir"
    program="$workdir/$(basename "$tool")"
  fi
  local started_ns
  started_ns=$(date +%s%N)
  if [ "$expected_exit" -gt 255 ]; then
    # Wine hands a Unix parent only the low byte of an exit code such as
    # 3010; cmd reads it whole. (Only for arguments without blanks.)
    (cd "$start_dir" && exec timeout 200 wine cmd /v:on /c \
       "$program ${tool_args[*]} & echo kr-exit-code=!errorlevel!") \
      >"$workdir/silent.out" 2>"$workdir/silent.err"
    code=$(tr -d '\r' <"$workdir/silent.out" | sed -n 's/^kr-exit-code=//p' | tail -n 1)
    sed -i '/^kr-exit-code=/d' "$workdir/silent.out"
    code=${code:-255}
  else
    (cd "$start_dir" && WINEDEBUG="${wine_debug:-$WINEDEBUG}" \
       exec timeout 200 wine "$program" "${tool_args[@]}") \
      >"$workdir/silent.out" 2>"$workdir/silent.err"
    code=$?
  fi
  local ran_ms=$(( ($(date +%s%N) - started_ns) / 1000000 ))
  echo "info silent: the tool ran for $ran_ms ms"
  if [ -n "$within_ms" ]; then
    if [ "$ran_ms" -le "$within_ms" ]; then
      echo "ok silent: ended within $within_ms ms"
    else
      echo "FAIL silent: ran for $ran_ms ms, more than $within_ms ms"
      status=1
    fi
  fi
  tr -d '\r' <"$workdir/silent.out" | sed 's/^/info tool: /'
  if [ "$code" -eq "$expected_exit" ]; then
    echo "ok silent: exit code $code"
  else
    echo "FAIL silent: exit code $code, expected $expected_exit"
    sed 's/^/info wine: /' "$workdir/silent.err"
    status=1
  fi
  local absent
  for absent in "${absent_processes[@]}"; do
    # Wine names a process by its Windows path: the name after a separator
    # (this script's own arguments name it after a blank).
    if pgrep -f -- "[\\/]${absent//./\\.}" >/dev/null; then
      echo "FAIL processes: $absent still runs after the tool ended"
      status=1
    else
      echo "ok processes: no $absent left running"
    fi
  done
  for pattern in "${output_patterns[@]}"; do
    if tr -d '\r' <"$workdir/silent.out" | grep -qE -- "$pattern"; then
      echo "ok output: $pattern"
    else
      echo "FAIL output: no line matches $pattern"
      status=1
    fi
  done
  if [ "$window_first" -eq 1 ]; then
    kr_shoot_and_close "$build/artifacts/$name.png" "$probe" "$tool_pid" || status=1
  fi
  return $status
}

# The tool with its window, the probe checking it between docksim's requests.
run_window() {
  local status=0 request option closed_by_probe=0 phase=() shot
  KR_TOOL_WINEDEBUG="$wine_debug" kr_start_tool "$workdir" "$probe" "./$(basename "$tool")" \
    "${tool_args[@]}" || status=1
  tool_pid=$KR_TOOL_PID

  for request in "${requests[@]}"; do
    send_request "$request" || status=1
  done
  # The probe options up to each --docksim-send run as one probe session.
  while [ ${#probe_options[@]} -gt 0 ]; do
    option="${probe_options[0]}"
    if [ "$option" = --docksim-send ]; then
      if [ ${#phase[@]} -gt 0 ]; then
        kr_probe "$probe" "${phase[@]}" || status=1
      fi
      send_request "${probe_options[1]}" || status=1
      phase=()
      probe_options=("${probe_options[@]:2}")
      continue
    fi
    [ "$option" = --close ] && closed_by_probe=1
    phase+=("$option")
    probe_options=("${probe_options[@]:1}")
  done
  if [ ${#phase[@]} -gt 0 ]; then
    kr_probe "$probe" "${phase[@]}" || status=1
  fi

  if [ "$closed_by_probe" -eq 1 ]; then
    kr_await_tool "$tool_pid" || status=1
  else
    shot="$build/artifacts/$name.png"
    mkdir -p "$build/artifacts"
    kr_shoot_and_close "$shot" "$probe" "$tool_pid" || status=1
  fi
  return $status
}

status=0
if [ "$silent" -eq 1 ]; then
  run_silent || status=1
else
  run_window || status=1
fi

# What Wine printed of the tool's run, on the channels --wine-debug opened.
debug_log="$workdir/silent.err"
[ "$silent" -eq 1 ] || debug_log="${KR_TOOL_WINE_LOG:-}"
for pattern in "${debug_patterns[@]}"; do
  if grep -qE -- "$pattern" "$debug_log"; then
    echo "ok debug: $pattern"
  else
    echo "FAIL debug: Wine printed no line that matches $pattern"
    grep -E 'wtsapi|eventlog' "$debug_log" | sed 's/^/info wine: /' | tail -n 20
    status=1
  fi
done
for pattern in "${no_debug_patterns[@]}"; do
  if grep -qE -- "$pattern" "$debug_log"; then
    echo "FAIL debug: Wine printed a line that matches $pattern"
    grep -E -- "$pattern" "$debug_log" | sed 's/^/info wine: /' | tail -n 5
    status=1
  else
    echo "ok debug: nothing matches $pattern"
  fi
done

# The tool has ended: its log file is complete.
set -- "${log_checks[@]}"
while [ $# -ge 2 ]; do
  # grep reads the whole file: one that stops at the first match would end
  # tr early, and the pipe's status would then be tr's.
  if [ -f "$workdir/$1" ] && tr -d '\r' <"$workdir/$1" | grep -E -- "$2" >/dev/null; then
    echo "ok log file $1: $2"
  else
    echo "FAIL log file $1: no line matches $2"
    [ -f "$workdir/$1" ] && sed 's/^/info log file: /' "$workdir/$1" | tail -n 20
    status=1
  fi
  shift 2
done

# A trace's reports out: a command has FEFF after its report ID and class,
# a data packet has not; each run of data packets between two commands is
# one image.
set -- "${data_run_checks[@]}"
while [ $# -ge 2 ]; do
  runs=$( [ -f "$workdir/$1" ] && tr -d '\r' <"$workdir/$1" | awk '
    function close_run() { if (n) printf "%d ", n; n = 0 }
    $2 == ">" && substr($3, 5, 4) == "FEFF" { close_run(); next }
    $2 == ">" { if (substr($3, 5, 4) == "0100") close_run(); n++ }
    END { close_run() }' | sed 's/ $//')
  if [ "$runs" = "$2" ]; then
    echo "ok trace $1: data packets $runs"
  else
    echo "FAIL trace $1: data packets '$runs', not '$2'"
    status=1
  fi
  shift 2
done

set -- "${record_checks[@]}"
while [ $# -ge 2 ]; do
  value=$(wine reg query "$record_key" /v "$1" 2>/dev/null | tr -d '\r' |
          sed -n "s/^ *$1 *REG_[A-Z_]* *//p")
  if grep -qE -- "$2" <<<"$value"; then
    echo "ok record $1: $value"
  else
    echo "FAIL record $1: '$value' does not match $2"
    status=1
  fi
  shift 2
done

for pattern in "${default_log_patterns[@]}"; do
  default_log="$default_log_dir/Logs/KrEFM8SwUpgrade.log"
  if [ -f "$default_log" ] && tr -d '\r' <"$default_log" | grep -qE -- "$pattern"; then
    echo "ok default log: $pattern"
  else
    echo "FAIL default log: no line of $default_log matches $pattern"
    status=1
  fi
done

set -- "${plants[@]}"
while [ $# -ge 2 ]; do
  if [ -n "$(find "$workdir/$2" -maxdepth 1 -iname "$(basename "$1").ran")" ]; then
    echo "FAIL planted: the tool started the $(basename "$1") planted in $2"
    status=1
  else
    echo "ok planted: the $(basename "$1") planted in $2 never ran"
  fi
  shift 2
done

if docksim_send quit >/dev/null && kr_wait_for_exit "$docksim_pid"; then
  echo "ok docksim: quit, the chips' contents are in $dump_dir"
else
  echo "FAIL docksim: did not quit"
  status=1
fi
sed 's/^/info docksim: /' "$workdir/docksim.log"

# chip_holds CHIP IMAGE|nothing: compares a chip's dump with an image of the
# package, or checks that the chip received nothing.
chip_holds() {
  local chip="$dump_dir/$1"
  if [ "$2" = nothing ]; then
    if [ ! -s "$chip" ]; then
      echo "ok chips: $1 received nothing"
      return 0
    fi
    echo "FAIL chips: $1 received $(stat -c %s "$chip") bytes"
  elif cmp -s "$chip" "$images/$2"; then
    echo "ok chips: $1 holds $2 ($(stat -c %s "$images/$2") bytes)"
    return 0
  else
    echo "FAIL chips: $1 differs from $2"
  fi
  return 1
}

if [ "$written" = none ]; then
  for chip in chip1.bin chip2-1.bin chip3.bin; do
    chip_holds "$chip" nothing || status=1
  done
elif [ -n "$images" ]; then
  chip_holds chip3.bin image0.bin || status=1
  if [ "$written" = all ]; then
    chip_holds chip1.bin image4.bin || status=1
    chip_holds chip2-1.bin image1.bin || status=1
    chip_holds chip2-2.bin image2.bin || status=1
    chip_holds chip2-3.bin nothing || status=1
  else
    chip_holds chip1.bin nothing || status=1
    chip_holds chip2-1.bin nothing || status=1
  fi
  if grep -q '^protocol-error=' "$dump_dir/summary.txt"; then
    echo "FAIL chips: the dock saw protocol errors"
    status=1
  fi
fi
exit $status
