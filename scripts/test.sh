#!/usr/bin/env bash
# Checks the format of the tracked C++ files, then builds every preset and
# runs every test: native unit tests, the same under the address and thread
# sanitizers, a short fuzzing run, and the Windows executable under Wine. Ends
# with one summary line over all of them.
set -uo pipefail
cd "$(dirname "$0")/.."

total_passed=0
total_failed=0
failures=()

run_preset() {
  local preset=$1
  echo "=== $preset ==="
  local configure_log
  configure_log=$(mktemp)
  if ! cmake --preset "$preset" >"$configure_log" 2>&1; then
    cat "$configure_log"
    rm -f "$configure_log"
    failures+=("$preset: configure")
    total_failed=$((total_failed + 1))
    return
  fi
  rm -f "$configure_log"
  if ! cmake --build --preset "$preset"; then
    failures+=("$preset: build")
    total_failed=$((total_failed + 1))
    return
  fi
  local log
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [ -n "$summary" ]; then
    local failed all
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
    total_passed=$((total_passed + all - failed))
    total_failed=$((total_failed + failed))
  fi
  if [ "$status" -ne 0 ]; then
    failures+=("$preset: tests")
    [ -n "$summary" ] || total_failed=$((total_failed + 1))
  fi
}

# Format first: it takes seconds, and a file out of format fails the run
# whatever the tests say.
echo "=== format ==="
if bash scripts/format.sh --check; then
  echo "All tracked C++ files are formatted."
  total_passed=$((total_passed + 1))
else
  failures+=("format")
  total_failed=$((total_failed + 1))
fi

for preset in native asan tsan fuzz windows; do
  run_preset "$preset"
done

if [ ${#failures[@]} -gt 0 ]; then
  echo "Failed: ${failures[*]}"
fi
echo "${total_passed} passed, ${total_failed} failed"
[ ${#failures[@]} -eq 0 ]
