#!/usr/bin/env bash
# An Xvfb of our own on a free display, never someone else's.
#
# Run a command on it (the server stops when the command ends):
#   scripts/xvfb.sh COMMAND [ARGS...]
# Or source it and manage the server yourself:
#   source scripts/xvfb.sh; xvfb_start; ...; xvfb_stop
# xvfb_start exports DISPLAY; xvfb_stop is also installed as an EXIT trap
# when run as a command.

XVFB_PID=

# Starts Xvfb on the first display from a random point in :100..:999 that has
# no lock file and no socket. Xvfb itself refuses a display taken meanwhile
# (it checks the lock), so a lost race just moves on to the next number.
xvfb_start() {
  local n tries=0 start=$((100 + RANDOM % 900))
  while ((tries < 900)); do
    n=$((100 + (start - 100 + tries) % 900))
    tries=$((tries + 1))
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    # No auto-repeat: on a busy machine a key held between xdotool's press
    # and release would otherwise type itself twice.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset -r >/dev/null 2>&1 &
    XVFB_PID=$!
    # Ready when the socket is there; bounded at about 10 s.
    local i
    for ((i = 0; i < 200; i++)); do
      if [[ -S /tmp/.X11-unix/X$n ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  done
  echo "xvfb.sh: no free display found in :100..:999" >&2
  return 1
}

xvfb_stop() {
  if [[ -n ${XVFB_PID:-} ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  [[ $# -ge 1 ]] || { echo "usage: xvfb.sh COMMAND [ARGS...]" >&2; exit 2; }
  trap xvfb_stop EXIT
  xvfb_start
  # Not exec: the trap must outlive the command to stop the server.
  set +e
  "$@"
  rc=$?
  exit $rc
fi
