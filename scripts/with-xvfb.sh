#!/usr/bin/env bash
# Runs a command on its own virtual X server (1280 x 720, 24 bits, no window manager), so
# that window tests see the same screen on every machine and never touch the user's.
# Exits 77 (a skip for CTest) when Xvfb is not installed.
#   scripts/with-xvfb.sh COMMAND [ARGS...]
set -uo pipefail

if ! command -v Xvfb >/dev/null; then
  echo "with-xvfb: Xvfb is not installed (Debian package xvfb); skipped" >&2
  exit 77
fi

dir=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
# The server picks a free display and writes its number once it accepts connections.
# Its own session: a signal to this process group (a timeout, Ctrl-C) reaches the command,
# which then still has its display to close.
setsid Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if ! [ -s "$dir/display" ]; then
  echo "with-xvfb: Xvfb did not start:" >&2
  cat "$dir/log" >&2
  exit 1
fi

unset WAYLAND_DISPLAY
DISPLAY=":$(tr -d '[:space:]' <"$dir/display")" SDL_VIDEODRIVER=x11 "$@" &
child=$!
# Interrupted, the command is asked to stop first and the server goes only after it.
trap 'kill -TERM "$child" 2>/dev/null' INT TERM
status=0
while kill -0 "$child" 2>/dev/null; do
  wait "$child"
  status=$?
done
exit "$status"
