#!/usr/bin/env bash
# Shows one box with orvandel-demo.exe under Wine (called by scripts/demo.sh
# after the build). On $DISPLAY when one is set: the user answers it. Else on
# a private Xvfb: types "2" itself, saves a screenshot of the box and prints
# the answer.
#
#   scripts/show-box.sh [32|64]        (default 32: build/win32)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${1:-32}
build=$root/build/win$arch
run=("$root/scripts/wine-run" --arch "$arch")
# The prefix first, so its one-time set-up is not taken for a missing box.
"$root/scripts/wine-prefix.sh" --arch "$arch" "$build/wineprefix"
demo=$build/orvandel-demo.exe
caption="Orvandel demo"
message='Orvandel.dll draws this box as text.\nPick one of the choices below.'
args=("$caption" "$message" "Carry on" "Show me again" "Stop here")

if [[ -n ${DISPLAY:-} ]]; then
  echo "A box is open on $DISPLAY: press 1, 2 or 3 in it."
  answer=$("${run[@]}" "$demo" "${args[@]}" | tr -d '\r')
  echo "Orvandel returned: $answer"
  exit 0
fi

# shellcheck source=xvfb.sh
source "$root/scripts/xvfb.sh"
out=$(mktemp)
trap 'rm -f "$out"; xvfb_stop' EXIT
xvfb_start
"${run[@]}" "$demo" "${args[@]}" >"$out" &
demo_pid=$!

win=
for ((i = 0; i < 1200; i++)); do   # 120 s: a first start on a busy, emulating machine
  win=$(xdotool search --name "^$caption\$" 2>/dev/null | head -1 || true)
  [[ -n $win ]] && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $win ]]; then
  rc=0
  kill -0 "$demo_pid" 2>/dev/null && kill "$demo_pid"
  wait "$demo_pid" || rc=$?
  echo "show-box: no box appeared (exit $rc); output: $(cat "$out")" >&2
  exit 1
fi

# The frame is wider than its client window by the border; take a margin.
area() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  echo "$((WIDTH + 8))x$((HEIGHT + 30))+$((X > 4 ? X - 4 : 0))+$((Y > 26 ? Y - 26 : 0))"
}
# The box draws its rows after it appears: the screenshot is taken once two
# in a row are the same (within 30 s).
raw=$(mktemp) last=$(mktemp)
trap 'rm -f "$out" "$raw" "$last"; xvfb_stop' EXIT
for ((i = 0; i < 60; i++)); do
  sleep 0.5
  import -window root -crop "$(area)" "rgb:$raw" 2>/dev/null || continue
  cmp -s "$raw" "$last" && break
  cp "$raw" "$last"
done
shot=$build/orvandel-box.png
import -window root -crop "$(area)" "$shot"

# Like a user, the key is pressed again if the box was not listening yet
# (a key typed before its text area has the focus goes nowhere).
for ((i = 0; i < 20; i++)); do
  xdotool windowfocus --sync "$win" key 2 2>/dev/null || true
  for ((j = 0; j < 30; j++)); do
    kill -0 "$demo_pid" 2>/dev/null || break 2
    sleep 0.1
  done
done
if kill -0 "$demo_pid" 2>/dev/null; then
  kill "$demo_pid"
  echo "show-box: the box did not answer the key 2" >&2
  exit 1
fi
wait "$demo_pid"
echo "Screenshot of the box: $shot"
echo "Typed 2; Orvandel returned: $(tr -d '\r' <"$out")"
