#!/usr/bin/env bash
# Helpers shared by the Wine tests and the run command: a display of their
# own, the prefix's window frames, and ending the tool.
# Usage: source tests/wine/wine-session.sh (after scripts/wine-prefix.sh)

# kr_start_xvfb DIR: starts a virtual display of its own. Xvfb picks a free
# display number itself and writes it once it accepts clients, so there is no
# guessing and no waiting loop. Another server that starts or stops at the same
# moment can make it give up, so it gets three attempts. Sets DISPLAY and
# KR_XVFB_PID; DIR holds a short-lived pipe and Xvfb's messages (xvfb.log).
kr_start_xvfb() {
  local pipe="$1/xvfb-display.$$" attempt number
  for attempt in 1 2 3; do
    rm -f "$pipe"
    mkfifo "$pipe" || return 1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$pipe" >/dev/null 2>"$1/xvfb.log" &
    KR_XVFB_PID=$!
    number=""
    read -r -t 20 number <"$pipe"
    rm -f "$pipe"
    if [ -n "$number" ]; then
      export DISPLAY=":$number"
      return 0
    fi
    kr_stop_xvfb
    echo "info xvfb: attempt $attempt failed: $(tail -n 1 "$1/xvfb.log")" >&2
  done
  return 1
}

kr_stop_xvfb() {
  if [ -n "${KR_XVFB_PID:-}" ]; then
    kill "$KR_XVFB_PID" 2>/dev/null
    wait "$KR_XVFB_PID" 2>/dev/null
    KR_XVFB_PID=""
  fi
}

# kr_lock_prefix DIR: keeps the Wine prefix DIR for this script alone until it
# exits, waiting up to 10 minutes for another run to finish. Programs of one
# prefix share one server and see each other's windows, and ending a session
# ends them all, so two runs at once would probe and close each other's tool.
kr_lock_prefix() {
  exec {KR_PREFIX_LOCK}>"$1.lock" || return 1
  flock -w 600 "$KR_PREFIX_LOCK"
}

# kr_wine_frames wine|desktop: who draws captions and frames of the windows in
# $WINEPREFIX, and who manages them. A virtual display has no window manager,
# so Wine must draw them itself or the dialog shows without its caption, and
# must not wait for a manager to take a hidden window away (it would wait 2 s
# each time, which a closing tool would seem to take); on a desktop the window
# manager does both. The choice is kept in the prefix and changed only when
# needed.
kr_wine_frames() {
  local mark="$WINEPREFIX/.kr-window-handling"
  [ "$(cat "$mark" 2>/dev/null)" = "$1" ] && return 0
  local key='HKCU\Software\Wine\X11 Driver' value
  for value in Decorated Managed; do
    if [ "$1" = wine ]; then
      wine reg add "$key" /v "$value" /t REG_SZ /d N /f >/dev/null 2>&1 || return 1
    else
      wine reg delete "$key" /v "$value" /f >/dev/null 2>&1
    fi
  done
  echo "$1" >"$mark"
}

# kr_windows_path FILE: the path under which Wine programs see a host file
# (drive Z: is the host's root).
kr_windows_path() {
  local p
  p="$(realpath "$1")"
  printf 'Z:%s' "${p//\//\\}"
}

# kr_screenshot FILE: saves the whole display and fails when the picture is
# one flat colour, i.e. nothing was drawn.
kr_screenshot() {
  import -display "$DISPLAY" -window root "$1" || return 1
  local deviation
  deviation=$(convert "$1" -format '%[fx:standard_deviation]' info:) || return 1
  awk -v d="$deviation" 'BEGIN { exit !(d > 0) }'
}

# kr_wait_for_exit PID: waits (up to 30 s) for a process to end.
kr_wait_for_exit() {
  timeout 30 tail --pid="$1" -f /dev/null
}

# kr_end_wine [PID]: ends the prefix's Wine session. A tool that is still
# running (PID) is killed with the whole session; otherwise the session's
# processes get 30 s to end on their own.
kr_end_wine() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  if [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; then
    echo "info wine: the tool is still running; ending every process of the prefix"
    wineserver -k
  fi
  timeout 30 wineserver -w || wineserver -k
}

# kr_wine_session WORKDIR PREFIX: a display of its own, then the prefix, taken
# for this run alone, with Wine drawing the window frames. Wine's desktop
# process starts with the prefix's first program and keeps the display it
# found, so every Wine program of the run starts after this.
kr_wine_session() {
  if ! kr_start_xvfb "$1"; then
    echo "FAIL setup: Xvfb did not start"
    return 1
  fi
  if ! kr_lock_prefix "$2"; then
    echo "FAIL setup: the Wine prefix stayed busy with another run"
    return 1
  fi
  kr_wine_prefix "$2"
  kr_wine_frames wine
}

# kr_install_stand_ins PROGRAM DLL...: puts the rig's stand-in libraries into
# the system folder of $WINEPREFIX, where the tool looks for its HID and
# device-setup libraries (never in its own folder), and lets the program
# named PROGRAM (e.g. KrEFM8SwUpgrade.exe) alone prefer them to Wine's
# built-in ones. Every other program of the prefix keeps Wine's own, the
# session's services.exe, which needs setupapi.dll, among them. A prefix that
# holds the stand-ins is the rig's alone: no other test uses it.
kr_install_stand_ins() {
  local program="$1" dll
  shift
  local key="HKCU\\Software\\Wine\\AppDefaults\\$program\\DllOverrides"
  for dll in "$@"; do
    cp "$dll" "$WINEPREFIX/drive_c/windows/system32/" || return 1
    wine reg add "$key" /v "$(basename "$dll" .dll)" /t REG_SZ /d native,builtin /f \
      >/dev/null 2>&1 || return 1
  done
}

# kr_probe PROBE OPTION...: runs the probe and passes on its lines, what went
# to its standard error (its usage errors, Wine's errors), and its exit status.
# Its first step that looks at the tool always prints a line before it acts,
# so a probe that ended without a line checked and pressed nothing. That has
# been seen, rarely, on a busy machine; such a probe is started once more,
# with its status said.
kr_probe() {
  local attempt said status
  said=$(mktemp) || return 1
  for attempt in 1 2; do
    # Into files, not a pipe: a Wine server or service the probe happens to
    # start would hold a pipe open long after the probe ended.
    wine "$@" >"$said" 2>"$said.err"
    status=$?
    cat "$said"
    sed 's/^/info probe stderr: /' "$said.err"
    if [ -s "$said" ]; then
      rm -f "$said" "$said.err"
      return "$status"
    fi
    echo "info probe: ended with status $status before its first line (attempt $attempt)"
  done
  rm -f "$said" "$said.err"
  return 1
}

# kr_shoot_and_close SHOT PROBE TOOL_PID [LOOK_OPTION...]: the screenshot of
# the finished run, then, with LOOK_OPTIONs, the probe's checks of the window's
# looks against that very picture (kept beside it as a .bmp, which Wine
# programs read), then the tool closed through its exit button and its end
# awaited. Fails when the screenshot is missing or blank, a look check fails
# or the tool does not end.
kr_shoot_and_close() {
  local shot="$1" probe="$2" tool_pid="$3" status=0
  shift 3
  if kr_screenshot "$shot"; then
    echo "ok screenshot: $shot"
    if [ $# -gt 0 ]; then
      local picture="${shot%.png}.bmp"
      if convert "$shot" -type TrueColor BMP3:"$picture"; then
        kr_probe "$probe" --screenshot "$(kr_windows_path "$picture")" "$@" || status=1
      else
        echo "FAIL screenshot: $shot not converted to $picture"
        status=1
      fi
    fi
  else
    echo "FAIL screenshot: $shot is missing or blank"
    status=1
  fi
  kr_probe "$probe" --close || status=1
  kr_await_tool "$tool_pid" || status=1
  return $status
}

# kr_ready_desktop PROBE: the probe creates the session's first window, so
# Wine's desktop is ready before the program under test needs it, and the
# program and the probe do not race to start it. Once more if the first try
# came before the desktop was ready.
kr_ready_desktop() {
  kr_probe "$1" --desktop || kr_probe "$1" --desktop
}

# kr_start_tool DIR PROBE PROGRAM [ARG...]: starts the tool in DIR in the
# background, sets KR_TOOL_PID and waits with the probe until its window shows
# and the tool is idle. What Wine itself reports as an error while the tool runs
# goes to DIR/tool-wine.log, which kr_await_tool passes on (with the channels
# KR_TOOL_WINEDEBUG opens, when set, instead of errors only). A tool that ended
# before its window showed was seen once, rarely, on a busy machine: it had
# checked and written nothing, so it is started once more, with its exit status
# and Wine's errors said.
kr_start_tool() {
  local dir="$1" probe="$2" attempt status
  shift 2
  KR_TOOL_WINE_LOG="$dir/tool-wine.log"
  : >"$KR_TOOL_WINE_LOG"
  kr_ready_desktop "$probe" || return 1
  for attempt in 1 2; do
    (cd "$dir" && WINEDEBUG="${KR_TOOL_WINEDEBUG:--all,err+all}" exec wine "$@") \
      2>>"$KR_TOOL_WINE_LOG" &
    KR_TOOL_PID=$!
    kr_probe "$probe" --wait && return 0
    # A tool still running has a window that is not right; that is for the
    # test to report, not to start again.
    kill -0 "$KR_TOOL_PID" 2>/dev/null && return 1
    wait "$KR_TOOL_PID"
    status=$?
    echo "info wine: the tool ended with status $status before its window showed (attempt $attempt)"
    sed 's/^/info wine (tool): /' "$KR_TOOL_WINE_LOG"
    : >"$KR_TOOL_WINE_LOG"
  done
  return 1
}

# kr_await_tool TOOL_PID: waits for the closed tool's process to end, then
# passes on Wine's errors of the tool's run.
kr_await_tool() {
  local status=0
  if kr_wait_for_exit "$1"; then
    wait "$1"
    echo "ok wine: tool process ended with status $?"
  else
    echo "FAIL wine: tool process still running after it was closed"
    status=1
  fi
  if [ -s "${KR_TOOL_WINE_LOG:-}" ]; then
    sed 's/^/info wine (tool): /' "$KR_TOOL_WINE_LOG"
  fi
  return $status
}
