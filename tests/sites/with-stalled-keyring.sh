#!/bin/sh
# Runs a program on the private session bus of dbus-run-session where a
# secret service holds its name but never answers (stalled_keyring).
# Usage: dbus-run-session -- sh with-stalled-keyring.sh <stalled_keyring> <program> [args...]
set -e
stalled="$1"
shift
fifo=$(mktemp -u)
mkfifo "$fifo"
"$stalled" >"$fifo" &
pid=$!
read -r line <"$fifo"
rm -f "$fifo"
if [ "$line" != "ready" ]; then
  echo "the stalled secret service did not start" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
fi
unset INKPOST_SECRET_SERVICE
export INKPOST_TEST_STALLED_KEYRING=1
status=0
"$@" || status=$?
kill "$pid" 2>/dev/null || true
exit $status
