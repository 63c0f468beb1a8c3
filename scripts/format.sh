#!/usr/bin/env bash
# Formats the tracked C++ files with the root .clang-format, or with --check
# only lists the ones that are out of format and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ ${#files[@]} -gt 0 ] || exit 0

if [ "${1:-}" != "--check" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

# clang-format names each file it would change in its diagnostics; one line
# per file is what the reader needs.
report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) && exit 0
mapfile -t unformatted < <(sed -nE 's/^(.+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' <<<"$report" | sort -u)
if [ ${#unformatted[@]} -eq 0 ]; then
  # Not a formatting verdict (a missing clang-format, an unreadable file): show it whole.
  echo "$report" >&2
  exit 1
fi
echo "Out of format (run 'make format'):" >&2
printf '  %s\n' "${unformatted[@]}" >&2
exit 1
