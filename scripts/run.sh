#!/usr/bin/env bash
# Builds the release preset (the game, its tools and its data set) and runs the game.
# Arguments are passed to the game.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc 2>/dev/null || echo 2)"

if [[ ! -f build/game/data/ini/Lumessa.ini && " $* " != *" --app-dir "* ]]; then
  echo "run: the game's data set is not built yet; pass --app-dir DIR to run another one." >&2
  exec build/bin/lumessa --help
fi
exec build/bin/lumessa "$@"
