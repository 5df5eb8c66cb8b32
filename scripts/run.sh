#!/usr/bin/env bash
# Builds the release preset (the game, its tools and its data set) and runs the game.
# Arguments are passed to the game.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc 2>/dev/null || echo 2)"

if [[ -x build/bin/lumessa ]]; then
  exec build/bin/lumessa "$@"
fi
# The engine is not there yet: show what the data tool can do.
exec build/bin/lumessa-pack --help
