#!/usr/bin/env bash
# A game definition that does not decipher, and one that is missing: the game ends with a
# non-zero status and exactly one line on stderr, and nothing on stdout.
set -euo pipefail
lumessa=$1
pack=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
  local what=$1
  shift
  local status=0
  "$lumessa" "$@" >"$work/out" 2>"$work/err" || status=$?
  if ((status == 0)); then
    echo "FAIL ($what): exit status 0"
    exit 1
  fi
  if [[ $(wc -l <"$work/err") -ne 1 || -s $work/out ]]; then
    echo "FAIL ($what): expected one line on stderr and nothing on stdout, got:"
    cat "$work/out" "$work/err"
    exit 1
  fi
  echo "ok ($what): $(cat "$work/err")"
}

mkdir -p "$work/app/data/ini"
printf '<game type="Game" name="x"/>' >"$work/plain.xml"
"$pack" encode --key not-the-right-key "$work/plain.xml" "$work/app/data/ini/Lumessa.ini"
check "wrong key" --headless --frames 3 --app-dir "$work/app" --user-dir "$work/user"

mkdir -p "$work/empty"
check "no definition" --headless --frames 3 --app-dir "$work/empty" --user-dir "$work/user"

check "bad option" --frames zero
