#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and gives each a short run on a copy of
# its seed corpus in fuzz/corpus/<target>/. A crash, a leak, a timeout or an out-of-memory in any
# target makes the script fail; the input that did it is kept in build/fuzz/artifacts/.
# Without clang it says so and succeeds, so the test command still runs where clang is missing.
# FUZZ_SECONDS changes the time per target (default 20).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${FUZZ_SECONDS:-20}"
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found; skipping the fuzz targets"
  exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"

failed=()
ran=0
for target in build/fuzz/fuzzers/*; do
  [[ -f $target && -x $target ]] || continue
  name=$(basename "$target")
  ran=$((ran + 1))
  corpus="$work/corpus/$name"
  mkdir -p "$corpus"
  if [[ -d fuzz/corpus/$name ]]; then cp -R "fuzz/corpus/$name/." "$corpus/"; fi
  log="$work/$name.log"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $name: ${runs:-?} inputs in ${seconds}s, clean"
  else
    tail -n 40 "$log"
    echo "fuzz: $name FAILED"
    failed+=("$name")
  fi
done

if ((ran == 0)); then
  echo "fuzz: no targets in build/fuzz/fuzzers/"
  exit 1
fi
if ((${#failed[@]} > 0)); then
  echo "fuzz: failed: ${failed[*]} (inputs kept in $artifacts/)"
  exit 1
fi
