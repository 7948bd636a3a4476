#!/usr/bin/env bash
# The message box beside MessageBoxW (bench/bench_msgbox.cpp) for one build:
# builds it with the benchmarks on, and runs it on an Xvfb of its own with
# the Wine server's pid in ORVANDEL_WINESERVER_PID, so its CPU is counted.
# Figures only, never pass/fail.
#
#   scripts/bench-msgbox.sh [--arch 32|64] [ROUNDS] [--xdotool] [--idle-ms N]
#
# --arch 64 (default) is the x86_64 build under 64-bit Wine, whose times are
# real; --arch 32 the 32-bit DLL, whose times under qemu are emulated.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=lib-wine.sh
source "$root/scripts/lib-wine.sh"
arch=64
if [[ ${1:-} == --arch ]]; then
  arch=$2
  shift 2
fi
build=$root/build/win$arch-msgbox
prefix=$(wine_prefix_of "$build")

mkdir -p "$root/build"
# A build folder of its own, so the test builds keep their settings.
cmake --preset "win$arch" -B "$build" -DORVANDEL_BENCH=ON -DORVANDEL_TESTS=OFF \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target orvandel_bench_msgbox >/dev/null
"$root/scripts/wine-prefix.sh" --arch "$arch" "$prefix"

wine_select "$arch"
source "$root/scripts/xvfb.sh"
trap 'wine_stop "$prefix"; xvfb_stop' EXIT
xvfb_start

# The prefix's server, started ahead of the program so its pid is known: the
# one process whose working folder is the prefix's server folder (named by
# the prefix's device and inode; its parent folder differs between builds).
WINEPREFIX=$prefix "$wine_server" -p5 </dev/null >/dev/null 2>&1
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
pid=
for ((i = 0; i < 100; i++)); do
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/cwd" 2>/dev/null) == */"$server_dir" ]] && { pid=${p#/proc/}; break; }
  done
  [[ -n $pid ]] && break
  sleep 0.1
done
[[ -n $pid ]] || echo "bench-msgbox: no Wine server found in $server_dir; its CPU is not counted" >&2

cd "$build"
ORVANDEL_WINESERVER_PID=$pid DISPLAY=$DISPLAY "$root/scripts/wine-run" --arch "$arch" --prefix "$prefix" \
  ./orvandel_bench_msgbox.exe "$@"
