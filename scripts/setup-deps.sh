#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is
# missing: a second run checks and returns in about a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev   # native build, sanitizers, libFuzzer
  llvm-14                                          # llvm-dlltool: the import library for MSVC hosts
  libgtest-dev googletest libbenchmark-dev         # GoogleTest (also its sources), Google Benchmark
  g++-mingw-w64-i686                               # the Win32 cross compiler (posix threads variant)
  wine wine32:i386                                 # runs the Win32 tests
  wine64 qemu-user                                 # a native Wine server; 32-bit programs where the kernel runs none
  xvfb xdotool imagemagick                         # a display for windows, keys, screenshots
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

# Some kernels run no 32-bit programs (no IA-32 emulation). There 32-bit
# Wine can only run through qemu-i386 as the binfmt interpreter of i386
# programs, which ORVANDEL_QEMU_I386=1 registers. It is not the default: a
# Wine start then takes a minute, and setting up a prefix often stalls in
# the emulated services, so the 32-bit Wine tests are skipped instead.
ensure_i386_programs_run() {
  local probe=/usr/lib/wine/wineserver32 misc=/proc/sys/fs/binfmt_misc
  [[ ${ORVANDEL_QEMU_I386:-0} == 1 && -x $probe ]] || return 0
  "$probe" --version >/dev/null 2>&1 && return 0
  [[ -e $misc/qemu-i386 ]] && return 0
  if [[ ! -e $misc/register ]]; then
    "${sudo[@]}" mount -t binfmt_misc binfmt_misc "$misc" || return 1
  fi
  echo "setup-deps: this kernel runs no 32-bit programs; registering qemu-i386 for them" >&2
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' |
    "${sudo[@]}" tee "$misc/register" >/dev/null
  "$probe" --version >/dev/null 2>&1
}

if [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null; then sudo=(sudo); else sudo=(); fi

if ((${#missing[@]} == 0 && need_i386 == 0)); then
  ensure_i386_programs_run
  exit $?
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
ensure_i386_programs_run
echo "setup-deps: done" >&2
