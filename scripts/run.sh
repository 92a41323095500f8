#!/usr/bin/env bash
# make run: starts the local sandbox with three blogs, lists them in data.mdb
# as 沙盒博客, 沙盒博客2 and 沙盒博客3 (account admin, passwords admin1,
# admin2, admin3), then runs the client; the sandbox stops when the client
# exits.
set -uo pipefail
build=${1:-build}
bin="$build/bin"
mkdb="$build/tools/inkpost-mkdb"
sandbox="$bin/inkpost-sandbox"

sandbox_pid=""
data=""
cleanup() {
  if [ -n "$sandbox_pid" ]; then
    kill "$sandbox_pid" 2>/dev/null
    wait "$sandbox_pid" 2>/dev/null
  fi
  [ -n "$data" ] && rm -rf "$data"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$mkdb" "$bin/data.mdb" || echo "run: could not prepare $bin/data.mdb" >&2

if [ -x "$sandbox" ]; then
  data=$(mktemp -d "${TMPDIR:-/tmp}/inkpost-sandbox-XXXXXX")
  fifo="$data/stdout"
  mkfifo "$fifo"
  "$sandbox" --port 0 --data "$data/blog" --sites 3 --user admin --password admin >"$fifo" &
  sandbox_pid=$!
  exec 3<"$fifo"
  address=""
  # The first line names the address: "listening on http://127.0.0.1:PORT/".
  if IFS= read -r -t 20 line <&3; then
    address=$(printf '%s\n' "$line" | sed -n 's|^listening on \(http://127\.0\.0\.1:[0-9][0-9]*/[^ ]*\)$|\1|p')
  fi
  # Keep draining its output so the sandbox never blocks on a full pipe.
  cat <&3 >/dev/null &
  exec 3<&-
  if [ -n "$address" ]; then
    # Blog K lives at ADDRESS/K/ with the password admin followed by K.
    for k in 1 2 3; do
      name=沙盒博客$k
      [ "$k" = 1 ] && name=沙盒博客
      "$mkdb" "$bin/data.mdb" --add-site "$name" "$address$k/" admin "admin$k" demo demo &&
        echo "run: sandbox blog at $address$k/ (admin/admin$k), listed as $name"
    done
    # The sandbox also plays the cross-posting service; the client sends
    # those hosts to it (account demo/demo on the site row).
    port=$(printf '%s\n' "$address" | sed -n 's|^http://127\.0\.0\.1:\([0-9]*\)/.*$|\1|p')
    [ -n "$port" ] && export INKPOST_LOCAL_SPACE_PORT="$port"
  else
    echo "run: the sandbox did not report its port; starting the client without it" >&2
  fi
else
  echo "run: $sandbox not built; starting the client without the sandbox blog" >&2
fi

if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
"$bin/inkpost-client"
