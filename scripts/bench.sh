#!/usr/bin/env bash
# Runs every benchmark executable; GUI ones need a display, so all run under Xvfb.
set -euo pipefail
build=${1:-build}
export QTWEBENGINE_DISABLE_SANDBOX=1
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  xvfb-run -a -s "-screen 0 1920x1080x24" "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
