#!/usr/bin/env bash
# Builds the sanitizer preset and runs every test; then gives each fuzz target a short run.
# Usage: scripts/test.sh        (from anywhere)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"

if [[ -x scripts/fuzz.sh ]]; then
  scripts/fuzz.sh
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --preset asan -j"$jobs" 2>&1 | tee "$log" || status=$?
# CTest lists skipped tests after its summary; repeat the summary so that it ends the output.
grep -E '^[0-9]+% tests passed' "$log" | tail -n 1 || true
exit "$status"
