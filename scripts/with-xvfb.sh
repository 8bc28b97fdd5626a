#!/usr/bin/env bash
# Runs a command on a private Xvfb server. The server picks a free display
# number itself (-displayfd), so parallel tests never race for one the way
# `xvfb-run -a` does. Usage: with-xvfb.sh [-s "server args"] command [args...]
set -euo pipefail
server_args="-screen 0 1024x768x24"
if [ "${1:-}" = "-s" ]; then
  server_args=$2
  shift 2
fi
dir=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap "exit 143" TERM INT
# shellcheck disable=SC2086
Xvfb -displayfd 3 -nolisten tcp $server_args 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
for _ in $(seq 300); do
  [ -s "$dir/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$dir/xvfb.log" >&2; echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$dir/display" ] || { echo "with-xvfb: Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$dir/display")"
set +e
"$@"
status=$?
set -e
exit $status
