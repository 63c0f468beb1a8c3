#!/usr/bin/env bash
# Reads the import table of the shipped executable. For any library that is
# not one of Windows' known DLLs, the loader looks beside the program first,
# before anything of the program runs; so the table may name only known DLLs,
# and COMCTL32, which the manifest's side-by-side dependency takes from the
# system's assembly store. Every other library is loaded from the system folder
# at run time, or delay-loaded under the program's search limited to it.
#
# Usage: import_table_test.sh --objdump OBJDUMP --exe EXE
set -uo pipefail

objdump="" exe=""
while [ $# -gt 0 ]; do
  case "$1" in
    --objdump) objdump="$2"; shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    *) echo "import_table_test: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$objdump" ] || [ -z "$exe" ]; then
  echo "import_table_test: --objdump and --exe are required" >&2
  exit 2
fi

headers=$("$objdump" -p "$exe" 2>&1) || { echo "FAIL setup: $objdump cannot read $exe"; exit 1; }
mapfile -t imported < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
if [ ${#imported[@]} -eq 0 ]; then
  echo "FAIL imports: no import table found in $exe"
  exit 1
fi

# Windows' known DLLs that a program of this kind may import, and COMCTL32.
allowed="ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL
OLEAUT32.DLL SHELL32.DLL SHLWAPI.DLL USER32.DLL"
failures=0
for library in "${imported[@]}"; do
  if tr ' ' '\n' <<<"$allowed" | grep -qxF -- "${library^^}"; then
    echo "PASS $library is a known DLL"
  else
    echo "FAIL $library is imported: the loader would look for it beside the program first"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
