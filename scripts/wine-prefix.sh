#!/usr/bin/env bash
# Creates (once) a Wine prefix that can run the tool: GDI+ needs Arial and
# Courier New to exist, and a crash must fail a test instead of opening a dialog.
# Usage: source scripts/wine-prefix.sh
#        kr_fixed_wine_layout "$@"   (first thing, with the script's own arguments)
#        kr_wine_prefix PREFIX_DIR

# Wine 8 reserves fixed addresses near 2 GB (its shared user data at
# 0x7ffe0000 among them), while this kernel starts a process's heap anywhere
# in a 1 GB span above the loader, that range included. Where the two meet, a
# Wine process fails to start ("failed to map the shared user data"), rarely
# and at random. So the calling script runs
# again, once, without address randomisation, which every Wine process it
# starts inherits: the heap then always starts at the same safe place. Where
# the kernel refuses, the script goes on as it is.
kr_fixed_wine_layout() {
  local personality
  personality=$(cat /proc/self/personality 2>/dev/null) || return 0
  (( 0x$personality & 0x0040000 )) && return 0
  setarch "$(uname -m)" -R true 2>/dev/null || return 0
  exec setarch "$(uname -m)" -R bash "$(readlink -f "${BASH_SOURCE[1]}")" "$@"
}

kr_wine_prefix() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all,err+all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.kr-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    local key='HKCU\Software\Wine\Fonts\Replacements'
    wine reg add "$key" /v "Arial" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    wine reg add "$key" /v "Courier New" /t REG_SZ /d "Liberation Mono" /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kr-ready"
  fi
}
