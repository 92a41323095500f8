#!/bin/sh
# Runs a test program on the private session bus of dbus-run-session with a
# fresh, unlocked GNOME keyring in a temporary home, then stops the keyring.
# Usage: dbus-run-session -- sh with-keyring.sh <program> [args...]
set -e
home=$(mktemp -d)
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
eval "$(printf 'test-password' | gnome-keyring-daemon --unlock --components=secrets)"
export GNOME_KEYRING_CONTROL
unset INKPOST_SECRET_SERVICE
export INKPOST_TEST_KEYRING=1
status=0
"$@" || status=$?
[ -n "${GNOME_KEYRING_PID:-}" ] && kill "$GNOME_KEYRING_PID" 2>/dev/null || true
rm -rf "$home"
exit $status
