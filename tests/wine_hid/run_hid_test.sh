#!/usr/bin/env bash
# Runs one case of the HID link's Wine test in the given prefix (created on
# first use) and passes its exit status on.
# Usage: run_hid_test.sh PREFIX_DIR TEST_EXE CASE
set -uo pipefail
unset WINEPREFIX
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../../scripts/wine-prefix.sh
source "$here/../../scripts/wine-prefix.sh"
kr_fixed_wine_layout "$@"
kr_wine_prefix "$1"
wine "$2" "$3"
status=$?
wineserver -w
exit $status
