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
# Wine takes an absolute prefix only.
prefix=$(realpath -ms -- "$prefix")

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib-wine.sh
source "$here/lib-wine.sh"
wine_select "$arch"
if ! out=$(wine_env "$prefix" && timeout 120 "$wine_loader" --version 2>&1); then
  echo "wine-prefix: $wine_loader does not start on this machine: ${out:-timed out}" >&2
  exit 77
fi

stamp=$prefix/.orvandel-ready
[[ -f $stamp ]] && exit 0

mkdir -p "$(dirname "$prefix")"

# ctest may start several Wine tests at once; one of them makes the prefix,
# the others wait for it.
exec 9>"$prefix.lock"
flock 9
[[ -f $stamp ]] && exit 0

wine_env "$prefix"
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
  timeout 1500 "$wine_loader" wineboot -i >>"$prefix.log" 2>&1 || rc=$?
  timeout 300 "$wine_server" -w || true
  if [[ -f $prefix/drive_c/windows/system32/kernel32.dll && ( $rc -eq 0 || ( $arch == 64 && -s $prefix/system.reg ) ) ]]; then
    made=1
    break
  fi
  echo "wine-prefix: wineboot failed ($rc) on attempt $attempt; see $prefix.log" >&2
done
((made)) || exit 1
"$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$prefix.log" 2>&1
timeout 60 "$wine_server" -w || true
touch "$stamp"
rm -f "$prefix/.orvandel-making"
echo "wine prefix made in $((SECONDS - started)) s: $prefix" >&2
