#!/usr/bin/env bash
# Makes the Wine prefix DIR once, with the X11 driver's window management off
# (a managed window costs about 2 s per destroy under Xvfb, which has no
# window manager). A second call returns at once.
#
#   scripts/wine-prefix.sh [--arch 32|64] DIR
#
# --arch 32 (default): a 32-bit prefix for the i686 build.
# --arch 64: a 64-bit prefix run by wine64 alone, for the x86_64 test build.
# Exit 77: Wine of that kind cannot run on this machine (the reason on stderr).
set -euo pipefail

arch=32
if [[ ${1:-} == --arch ]]; then
  arch=$2
  shift 2
fi
prefix=${1:?usage: wine-prefix.sh [--arch 32|64] DIR}

if [[ $arch == 32 ]]; then
  loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 winearch=win32
  # Wine's 32-bit loader and server are 32-bit Linux programs. Some kernels
  # run none (no IA-32 emulation); registering qemu-i386 for them does not
  # help, since Wine cannot map its fixed shared-data page under qemu-user
  # and each start takes a minute. Say so at once instead of hanging.
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [[ -f $entry ]] || continue
    if grep -qx enabled "$entry" 2>/dev/null &&
       grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
      echo "wine-prefix: 32-bit Linux programs run through $(sed -n 's/^interpreter //p' "$entry") on this machine; 32-bit Wine cannot run under it" >&2
      exit 77
    fi
  done
else
  loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 winearch=win64
fi
if ! out=$(timeout 20 "$loader" --version 2>&1); then
  echo "wine-prefix: $loader does not start on this machine: ${out:-timed out}" >&2
  exit 77
fi

stamp=$prefix/.orvandel-ready
[[ -f $stamp ]] && exit 0

mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
stamp=$prefix/.orvandel-ready

# ctest may start several Wine tests at once; one of them makes the prefix,
# the others wait for it.
exec 9>"$prefix.lock"
flock 9
[[ -f $stamp ]] && exit 0

export WINEPREFIX=$prefix WINEARCH=$winearch WINELOADER=$loader WINESERVER=$server
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix we began and never finished (interrupted) is made again from
# scratch; a folder someone else made is never removed.
[[ -f $prefix/.orvandel-making ]] && rm -rf "$prefix"
mkdir -p "$prefix"
touch "$prefix/.orvandel-making"
started=$SECONDS
# No display is needed to make the prefix; keep wineboot from opening one.
# A 64-bit prefix also sets up its 32-bit side, which fails (after a while)
# where 32-bit Wine cannot run; wineboot then reports failure although the
# 64-bit prefix is complete. So the registry it leaves is what counts.
rc=0
DISPLAY= timeout 400 "$loader" wineboot -i >"$prefix.log" 2>&1 || rc=$?
if [[ $rc -ne 0 && ( $arch == 32 || ! -s $prefix/system.reg ) ]]; then
  echo "wine-prefix: wineboot failed ($rc); see $prefix.log" >&2
  exit 1
fi
DISPLAY= "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$prefix.log" 2>&1
timeout 60 "$server" -w || true
touch "$stamp"
rm -f "$prefix/.orvandel-making"
echo "wine prefix made in $((SECONDS - started)) s: $prefix" >&2
