#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset (or only FUZZ_TARGET) for the given
# number of seconds, or until it has tried the given number of inputs,
# whichever comes first, keeping each target's corpus in the build folder
# between sessions; the committed seeds start a new corpus.
# Usage: fuzz-long.sh SECONDS [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
runs=${2:-}
limits=(-max_total_time="$seconds")
[ -n "$runs" ] && limits+=(-runs="$runs")
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  [ -n "${FUZZ_TARGET:-}" ] && [ "$name" != "$FUZZ_TARGET" ] && continue
  corpus="build/fuzz/tests/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/
  echo "=== $name, ${seconds} s${runs:+ or $runs inputs} ==="
  "$target" "$corpus" "${limits[@]}" -rss_limit_mb=2048 -print_final_stats=1
done
