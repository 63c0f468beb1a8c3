#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for the given number of seconds,
# keeping each target's corpus in the build folder between sessions.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  corpus="build/fuzz/tests/fuzz/corpus/$(basename "$target")"
  mkdir -p "$corpus"
  echo "=== $(basename "$target"), ${seconds} s ==="
  "$target" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1
done
