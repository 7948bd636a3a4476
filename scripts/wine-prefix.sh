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

# Under qemu-i386, Wine needs the whole 32-bit address space reserved up
# front, or its fixed shared-data page may already be taken.
export QEMU_RESERVED_VA=0xffff0000

arch=32
if [[ ${1:-} == --arch ]]; then
  arch=$2
  shift 2
fi
prefix=${1:?usage: wine-prefix.sh [--arch 32|64] DIR}

if [[ $arch == 32 ]]; then
  loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 winearch=win32
  # The 64-bit server serves 32-bit Wine as well and, where 32-bit programs
  # run through qemu-i386, is far faster than the emulated one.
  [[ -x /usr/lib/wine/wineserver64 ]] && server=/usr/lib/wine/wineserver64
else
  loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 winearch=win64
fi
if ! out=$(timeout 120 "$loader" --version 2>&1); then
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
if [[ -d $prefix && ! -f $prefix/.orvandel-making ]]; then
  echo "wine-prefix: $prefix exists and was not made here; remove it first" >&2
  exit 1
fi
started=$SECONDS
# Under qemu-i386, wineboot without a display crashes now and then while it
# sets the prefix up; with one it goes through. An X server of our own is
# started when the caller has none.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [[ -z ${DISPLAY:-} ]]; then
  source "$here/xvfb.sh"
  xvfb_start || exit 1
  trap xvfb_stop EXIT
fi
# A 64-bit prefix also sets up its 32-bit side, which may fail where 32-bit
# Wine cannot run; wineboot then reports failure although the 64-bit prefix
# is complete, so the registry it leaves is what counts there. Under
# qemu-i386 on a busy machine the first set-up can outlast Wine's own wait
# for it; wineboot is then run again on the same prefix to finish it, and a
# third try starts from scratch.
made=0
rm -rf "$prefix"
mkdir -p "$prefix"
touch "$prefix/.orvandel-making"
for attempt in 1 2 3; do
  if ((attempt == 3)); then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    touch "$prefix/.orvandel-making"
  fi
  rc=0
  timeout 1500 "$loader" wineboot -i >>"$prefix.log" 2>&1 || rc=$?
  timeout 300 "$server" -w || true
  if [[ -f $prefix/drive_c/windows/system32/kernel32.dll && ( $rc -eq 0 || ( $arch == 64 && -s $prefix/system.reg ) ) ]]; then
    made=1
    break
  fi
  echo "wine-prefix: wineboot failed ($rc) on attempt $attempt; see $prefix.log" >&2
done
((made)) || exit 1
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$prefix.log" 2>&1
timeout 60 "$server" -w || true
touch "$stamp"
rm -f "$prefix/.orvandel-making"
echo "wine prefix made in $((SECONDS - started)) s: $prefix" >&2
