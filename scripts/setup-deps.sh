#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is
# missing: a second run checks and returns in about a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev   # native build, sanitizers, libFuzzer
  libgtest-dev googletest libbenchmark-dev         # GoogleTest (also its sources), Google Benchmark
  g++-mingw-w64-i686                               # the Win32 cross compiler (posix threads variant)
  wine wine32:i386                                 # runs the Win32 tests
  g++-mingw-w64-x86-64-posix wine64                # the same tests where only 64-bit Wine runs
  xvfb xdotool imagemagick                         # a display for windows, keys, screenshots
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

if ((${#missing[@]} == 0 && need_i386 == 0)); then
  exit 0
fi

echo "setup-deps: installing ${missing[*]:-}$( ((need_i386)) && echo ' (adding the i386 architecture)')" >&2
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    sudo=(sudo)
  else
    echo "setup-deps: not root and no sudo; install as root: ${missing[*]}" >&2
    exit 1
  fi
else
  sudo=()
fi

export DEBIAN_FRONTEND=noninteractive
# With recommends: Wine's X11 driver loads the X extension libraries and
# fonts that come as recommends, and the text window is drawn with them.
apt_opts=(-y -q -o DPkg::Lock::Timeout=600)
if ((need_i386)); then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q -o DPkg::Lock::Timeout=600 >/dev/null
"${sudo[@]}" apt-get install "${apt_opts[@]}" "${missing[@]}" >/dev/null
echo "setup-deps: done" >&2
