#!/usr/bin/env bash
# Runs one Win32 acceptance test on a private Xvfb. A private display even when $DISPLAY is set: the tests type keys, and
# they must neither reach the user's windows nor depend on a window manager.
#
#   run-with-keys.sh EMULATOR... -- PROGRAM.exe [ARGS...]
#
# EMULATOR is how Win32 programs run here (scripts/wine-run), which uses the
# DISPLAY it is given.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

emulator=()
while [[ $# -gt 0 && $1 != -- ]]; do emulator+=("$1"); shift; done
[[ ${1:-} == -- ]] && shift
[[ $# -ge 1 ]] || { echo "usage: run-with-keys.sh EMULATOR... -- PROGRAM [ARGS...]" >&2; exit 2; }

# shellcheck source=../../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
trap xvfb_stop EXIT
xvfb_start
set +e
"${emulator[@]}" "$@"
rc=$?
set -e
exit $rc
