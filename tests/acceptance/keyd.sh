#!/usr/bin/env bash
# Key daemon for the acceptance tests: a Win32 test under Wine cannot start
# xdotool itself, so it drops requests into DIR and this loop, on the Linux
# side, runs them on the test's display.
#
#   keyd.sh DIR      (runs until DIR/stop appears or its parent ends)
#
# A request is DIR/req-ID holding xdotool's arguments on one line; the answer
# is DIR/done-ID holding xdotool's exit code. Requests are renamed before they
# are run, so a half-written one is never read (the test writes req-ID.tmp and
# renames it).
set -u
dir=${1:?usage: keyd.sh DIR}
parent=$PPID
while [[ ! -e $dir/stop ]] && kill -0 "$parent" 2>/dev/null; do
  shopt -s nullglob
  reqs=("$dir"/req-*)
  shopt -u nullglob
  for req in "${reqs[@]}"; do
    [[ $req == *.tmp ]] && continue
    id=${req##*/req-}
    read -r -a args <"$req" || true
    rm -f "$req"
    timeout 10 xdotool "${args[@]}" >/dev/null 2>&1
    echo $? >"$dir/done-$id.tmp"
    mv "$dir/done-$id.tmp" "$dir/done-$id"
  done
  sleep 0.02
done
