#!/usr/bin/env bash
# Makes the Wine prefix DIR once: a 32-bit prefix with the X11 driver's
# window management off (a managed window costs about 2 s per destroy under
# Xvfb, which has no window manager). A second call returns at once.
#
#   scripts/wine-prefix.sh DIR
set -euo pipefail

prefix=${1:?usage: wine-prefix.sh DIR}

# Wine's loader and server are 32-bit Linux programs. Some kernels run none
# (no IA-32 emulation); registering qemu-i386 for them does not help, since
# Wine cannot map its fixed shared-data page under qemu-user and each start
# takes a minute. Exit 77 ("cannot run here") at once in both cases, so the
# tests are reported as skipped rather than hanging or failing.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [[ -f $entry ]] || continue
  if grep -qx enabled "$entry" 2>/dev/null &&
     grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
    echo "wine-prefix: 32-bit Linux programs run through $(sed -n 's/^interpreter //p' "$entry") on this machine; Wine cannot run under it" >&2
    exit 77
  fi
done
if ! out=$(timeout 20 /usr/lib/wine/wine --version 2>&1); then
  echo "wine-prefix: Wine's 32-bit loader does not start on this machine: ${out:-timed out}" >&2
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

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix we began and never finished (interrupted) is made again from
# scratch; a folder someone else made is never removed.
[[ -f $prefix/.orvandel-making ]] && rm -rf "$prefix"
mkdir -p "$prefix"
touch "$prefix/.orvandel-making"
started=$SECONDS
# No display is needed to make the prefix; keep wineboot from opening one.
if ! DISPLAY= timeout 300 wineboot -i >"$prefix.log" 2>&1; then
  echo "wine-prefix: wineboot failed; see $prefix.log" >&2
  exit 1
fi
DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
touch "$stamp"
rm -f "$prefix/.orvandel-making"
echo "wine prefix made in $((SECONDS - started)) s: $prefix" >&2
