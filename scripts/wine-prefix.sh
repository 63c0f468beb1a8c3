#!/usr/bin/env bash
# Creates (once) a Wine prefix that can run the tool: GDI+ needs Arial and
# Courier New to exist, and a crash must fail a test instead of opening a dialog.
# Usage: source scripts/wine-prefix.sh PREFIX_DIR
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
