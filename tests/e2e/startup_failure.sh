#!/usr/bin/env bash
# A game definition that does not decipher, and one that is missing: the game ends with a
# non-zero status and exactly one line on stderr, and nothing on stdout.
set -euo pipefail
lumessa=$1
pack=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# check WHAT EXPECTED-STDERR-TEXT ARGS...
check() {
  local what=$1 expected=$2
  shift 2
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
  if ! grep -qF -- "$expected" "$work/err"; then
    echo "FAIL ($what): expected \"$expected\" on stderr, got: $(cat "$work/err")"
    exit 1
  fi
  echo "ok ($what): $(cat "$work/err")"
}

mkdir -p "$work/app/data/ini"
printf '<game type="Game" name="x"/>' >"$work/plain.xml"
"$pack" encode --key not-the-right-key "$work/plain.xml" "$work/app/data/ini/Lumessa.ini"
check "wrong key" "does not decipher or parse" --headless --frames 3 --app-dir "$work/app" --user-dir "$work/user"

mkdir -p "$work/empty"
check "no definition" "is missing or empty" --headless --frames 3 --app-dir "$work/empty" --user-dir "$work/user"

check "bad option" "--frames needs a number" --frames zero

# Every class registers at start-up without a clash: the definition is read and its type found.
printf '<game type="group_widget" name="x"/>' >"$work/plain.xml"
"$pack" encode --key t4wqpz81mhvc2r7bnxe "$work/plain.xml" "$work/app/data/ini/Lumessa.ini"
check "not a game" '"group_widget", which is not a game' --headless --frames 3 \
  --app-dir "$work/app" --user-dir "$work/user"
