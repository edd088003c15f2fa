#!/usr/bin/env bash
# A virtual X server for tests that open windows.
#   scripts/xvfb.sh start    start one on a free display; prints ":N"
#   scripts/xvfb.sh stop :N  stop the one started for :N
#   scripts/xvfb.sh ensure   print the project's shared display, starting it if needed
set -euo pipefail
state=${TMPDIR:-/tmp}/vantrel-xvfb
mkdir -p "$state"

start_on() {  # start_on N -> 0 when an X server answers on :N
  local n=$1
  # The server outlives its starter: it must inherit no descriptor beyond 0-2 (the ensure
  # lock would make every later ensure wait forever; a test runner's pipes would keep it
  # waiting for the test).
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done 2>/dev/null
    exec Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/$n.log" 2>&1
  ) &
  echo $! >"$state/$n.pid"
  for _ in $(seq 1 50); do
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then return 0; fi
    kill -0 "$(cat "$state/$n.pid")" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

case "${1:-}" in
  start)
    for n in $(seq 120 199); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      if start_on "$n"; then echo ":$n"; exit 0; fi
    done
    echo "xvfb.sh: no free display" >&2; exit 1 ;;
  stop)
    n=${2#:}
    if [ -f "$state/$n.pid" ]; then
      kill "$(cat "$state/$n.pid")" 2>/dev/null || true
      rm -f "$state/$n.pid"
    fi ;;
  ensure)
    n=99
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then echo ":$n"; exit 0; fi
    exec 9>"$state/ensure.lock"
    flock 9
    if ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
      rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
      start_on "$n" >/dev/null || { echo "xvfb.sh: cannot start Xvfb on :$n" >&2; exit 1; }
    fi
    echo ":$n" ;;
  *) echo "usage: xvfb.sh start | stop :N | ensure" >&2; exit 2 ;;
esac
