#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is
# missing: a second run checks and returns in about a second.
#
#   bash scripts/setup-deps.sh                         installs what is missing
#   bash scripts/setup-deps.sh --missing [--admindir DIR]
#                                                      only lists it (DIR: a dpkg
#                                                      database other than the system's)
#
# A package counts as present only when dpkg has it installed and configured:
# a set-up interrupted inside dpkg leaves packages half-installed or unpacked,
# and those are repaired (dpkg --configure -a) and installed again.
#
# Where the kernel runs no 32-bit programs (no IA-32 emulation), 32-bit Wine
# runs through qemu-i386 as the binfmt_misc interpreter of i386 programs.
# Debian 12's own qemu (7.2) spends close to a minute in its page bookkeeping
# on every Wine start; the one in bookworm-backports (10 or later) starts it
# in well under a second, so that suite is added, from the machine's own
# Debian source entry, and qemu-user is taken from it. Where 32-bit programs
# already run nothing of this happens.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev   # native build, sanitizers, libFuzzer
  llvm-14 lld-14                                   # llvm-dlltool and lld-link: the import library for MSVC hosts
  libgtest-dev googletest libbenchmark-dev         # GoogleTest (also its sources), Google Benchmark
  g++-mingw-w64-i686 g++-mingw-w64-x86-64          # the cross compilers (posix threads variants)
  wine wine32:i386 wine64                          # runs the Windows tests
  xvfb xdotool imagemagick                         # a display for windows, keys, screenshots
  fonts-droid-fallback                             # one font with CJK glyphs, the same on every machine
  fonts-unifont                                    # every script of the BMP in its cells, Arabic's joined forms, Thai's marks; emoji and plane-2 ideographs (Unifont Upper, Unifont-JP)
  fonts-lohit-deva                                 # Devanagari with its conjuncts, which Unifont cannot shape
  unicode-data                                     # what the cell-width table is made from and checked against
  zip unzip                                        # the release archives
)
qemu_min_major=10
backports_list=/etc/apt/sources.list.d/orvandel-bookworm-backports.sources
probe=/usr/lib/wine/wineserver32   # any i386 program will do

list_only=0 admindir=()
while (($#)); do
  case $1 in
    --missing) list_only=1 ;;
    --admindir) admindir=(--admindir="$2"); shift ;;
    *) echo "setup-deps: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

# What this run changed on the machine, told when it stops with an error, so
# that nobody has to guess what a half-done set-up left behind.
changed=()
say_changed() {
  local rc=$? c
  rm -f "${apt_log:-}"
  ((rc == 0)) && return
  if ((${#changed[@]})); then
    echo "setup-deps: stopped with an error; this run had changed:" >&2
    for c in "${changed[@]}"; do echo "  - $c" >&2; done
  else
    echo "setup-deps: stopped with an error; this run changed nothing on the machine" >&2
  fi
}
trap say_changed EXIT

if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then sudo=(sudo); else sudo=(); fi
else
  sudo=()
fi
as_root() {
  if [[ $(id -u) -ne 0 && ${#sudo[@]} -eq 0 ]]; then
    echo "setup-deps: not root and no sudo; run this as root: $*" >&2
    exit 1
  fi
  "${sudo[@]}" "$@"
}

export DEBIAN_FRONTEND=noninteractive
apt_opts=(-y -q -o DPkg::Lock::Timeout=600)
updated=0
update_failed=""
# An archive mirror in the middle of a sync serves an index that does not
# match its Release file ("File has unexpected size ... Mirror sync in
# progress?") and apt-get update fails: tried a few times, a pause between.
apt_update() {
  ((updated)) && return 0
  local try log=""
  for try in 1 2 3; do
    if log=$(as_root apt-get update -q -o DPkg::Lock::Timeout=600 2>&1) && ! grep -q '^E:' <<<"$log"; then
      updated=1 update_failed=""
      return 0
    fi
    update_failed=$(grep -o 'Failed to fetch [^ ]*' <<<"$log" | sed 's/Failed to fetch //' | sort -u | tr '\n' ' ')
    echo "setup-deps: apt-get update failed (try $try of 3): ${update_failed:-see below}" >&2
    ((try < 3)) && sleep 20
  done
  grep '^E:' <<<"$log" >&2 || true
  echo "setup-deps: going on with the package lists apt has" >&2
  updated=1
}

# One apt-get install; its messages go to $apt_log, where a failure is told
# apart: dpkg failing inside it is not an index the archive lacks.
apt_log=$(mktemp)
apt_get_install() { as_root apt-get install "${apt_opts[@]}" "$@" >"$apt_log" 2>&1; }
dpkg_failed() { grep -q 'Sub-process /usr/bin/dpkg returned an error code\|^dpkg: error' "$apt_log"; }
say_dpkg_failed() {
  echo "setup-deps: dpkg failed while installing $*:" >&2
  grep -E '^(dpkg: |E: |Errors were encountered)|^ [a-z0-9]' "$apt_log" | tail -n 20 | sed 's/^/  /' >&2
  echo "  This is not the archive: dpkg itself failed (a package's script, a full disk, a held lock)." >&2
}

# Installs the packages named. After an update that failed on an index, a
# first failure is tried again with the release's own suite preferred: when
# the index missing is the security suite's list of one architecture, the
# security versions of that architecture's libraries are unknown, and their
# other-architecture halves (which must be the same version) would come from
# the security suite; from the release's own suite both halves match.
# A package left half-installed is unpacked again, not only configured.
apt_install() {
  if apt_get_install --reinstall "$@"; then return 0; fi
  if dpkg_failed; then
    say_dpkg_failed "$@"
    return 1
  fi
  if [[ -z $update_failed ]]; then
    echo "setup-deps: could not install $*:" >&2
    grep '^E:' "$apt_log" | sed 's/^/  /' >&2
    return 1
  fi
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "setup-deps: retrying with the packages of $release itself, since an index is missing" >&2
  if apt_get_install --reinstall -t "$release" "$@"; then
    echo "setup-deps: installed from $release without the updates of the index that failed" >&2
    return 0
  fi
  if dpkg_failed; then
    say_dpkg_failed "$@"
    return 1
  fi
  echo "setup-deps: could not install $*." >&2
  echo "  apt-get update could not fetch: $update_failed" >&2
  echo "  The archive was in the middle of a sync: that index did not match its Release file, so apt knows" >&2
  echo "  none of the packages it lists, and what needs them cannot be installed. Try again later." >&2
  return 1
}

# --- the packages ----------------------------------------------------------------
# Present means installed and configured ("ii"): `dpkg -s` also succeeds for a
# package left half-installed, unpacked, half-configured or with only its
# configuration files, which is what a set-up interrupted inside dpkg leaves.
installed() {
  local states
  states=$(dpkg-query "${admindir[@]}" -W -f '${db:Status-Abbrev}\n' "$1" 2>/dev/null) || return 1
  [[ -n $states ]] && ! grep -qv '^ii' <<<"$states"
}
list_missing() {
  missing=()
  local p
  for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
  done
}
list_missing
if ((list_only)); then
  ((${#missing[@]} == 0)) || printf '%s\n' "${missing[@]}"
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup-deps: adding the i386 architecture" >&2
  as_root dpkg --add-architecture i386
  changed+=("added the i386 architecture to dpkg (dpkg --remove-architecture i386 undoes it)")
  updated=0
fi
if ((${#missing[@]})); then
  # A dpkg run that was interrupted is finished first: apt refuses to
  # install anything until it is.
  if [[ -n $(dpkg --audit 2>/dev/null) ]]; then
    echo "setup-deps: dpkg was interrupted before; finishing it (dpkg --configure -a)" >&2
    if ! as_root dpkg --configure -a >"$apt_log" 2>&1; then
      echo "setup-deps: dpkg --configure -a failed:" >&2
      tail -n 20 "$apt_log" | sed 's/^/  /' >&2
      exit 1
    fi
    changed+=("finished an interrupted dpkg run (dpkg --configure -a)")
    list_missing
  fi
fi
if ((${#missing[@]})); then
  echo "setup-deps: installing ${missing[*]}" >&2
  apt_update
  # With recommends: Wine's X11 driver loads the X extension libraries and
  # fonts that come as recommends, and the text window is drawn with them.
  apt_install "${missing[@]}" || exit 1
  changed+=("installed ${missing[*]}")
fi

# --- 32-bit programs ---------------------------------------------------------------
i386_runs() { timeout 60 "$probe" --version >/dev/null 2>&1; }
if i386_runs; then
  exit 0
fi

qemu_major() {
  local v
  v=$(dpkg-query -W -f '${Version}' qemu-user 2>/dev/null) || return 1
  v=${v#*:}
  echo "${v%%.*}"
}

# The machine's Debian entry, in either format: its URI and its keyring.
debian_source() {
  local f uri="" key=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f && $f != "$backports_list" ]] || continue
    # The stanza that lists bookworm itself.
    uri=$(awk -v RS= '/Suites:[^\n]*bookworm([ \n]|$)/ && /URIs:/ {
            for (i = 1; i <= NF; i++) if ($i == "URIs:") { print $(i + 1); exit } }' "$f")
    key=$(awk -v RS= '/Suites:[^\n]*bookworm([ \n]|$)/ && /Signed-By:/ {
            for (i = 1; i <= NF; i++) if ($i == "Signed-By:") { print $(i + 1); exit } }' "$f")
    [[ -n $uri ]] && break
  done
  if [[ -z $uri ]]; then
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f $f ]] || continue
      uri=$(awk '$1 == "deb" && $0 ~ / bookworm / {
                   for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i ~ /:\/\//) { print $i; exit } }' "$f")
      key=$(sed -n 's/^deb .*signed-by=\([^] ]*\).* bookworm .*/\1/p' "$f" | head -n 1)
      [[ -n $uri ]] && break
    done
  fi
  [[ -n $uri ]] || return 1
  [[ -n $key ]] || key=/usr/share/keyrings/debian-archive-keyring.gpg
  printf '%s %s\n' "$uri" "$key"
}

major=$(qemu_major || echo 0)
if ((major < qemu_min_major)); then
  if [[ ! -f $backports_list ]]; then
    if ! read -r uri key < <(debian_source); then
      echo "setup-deps: this kernel runs no 32-bit programs, and no Debian bookworm source entry" >&2
      echo "  was found to take qemu-user >= $qemu_min_major from bookworm-backports" >&2
      exit 1
    fi
    echo "setup-deps: this kernel runs no 32-bit programs; adding bookworm-backports from $uri for qemu-user" >&2
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' "$uri" "$key" |
      as_root tee "$backports_list" >/dev/null
    changed+=("added the apt source $backports_list")
    updated=0
  fi
  apt_update
  if apt_get_install -t bookworm-backports qemu-user; then
    changed+=("installed qemu-user from bookworm-backports")
  elif dpkg_failed; then
    say_dpkg_failed qemu-user
    exit 1
  fi
  major=$(qemu_major || echo 0)
  if ((major < qemu_min_major)); then
    echo "setup-deps: qemu-user $qemu_min_major or later is needed to run 32-bit Wine on this kernel," >&2
    echo "  but bookworm-backports offered $(dpkg-query -W -f '${Version}' qemu-user 2>/dev/null || echo none)" >&2
    exit 1
  fi
fi

misc=/proc/sys/fs/binfmt_misc
if [[ ! -e $misc/register ]]; then
  as_root mount -t binfmt_misc binfmt_misc "$misc"
  changed+=("mounted binfmt_misc on $misc")
fi
# An entry for another interpreter (or one from an older qemu) goes first.
if [[ -e $misc/qemu-i386 ]] && ! grep -qx 'interpreter /usr/bin/qemu-i386' "$misc/qemu-i386"; then
  echo -1 | as_root tee "$misc/qemu-i386" >/dev/null
  changed+=("removed the binfmt entry $misc/qemu-i386 of another interpreter")
fi
if [[ ! -e $misc/qemu-i386 ]]; then
  echo "setup-deps: registering /usr/bin/qemu-i386 for i386 programs" >&2
  # F: the interpreter is opened now, so it also serves programs in other
  # mount namespaces and chroots.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' |
    as_root tee "$misc/register" >/dev/null
  changed+=("registered /usr/bin/qemu-i386 for i386 programs ($misc/qemu-i386; echo -1 > it undoes it)")
fi
if ! i386_runs; then
  echo "setup-deps: 32-bit programs still do not run through /usr/bin/qemu-i386 ($("$probe" --version 2>&1 | head -n 1))" >&2
  exit 1
fi
echo "setup-deps: 32-bit programs run through qemu-i386 $(dpkg-query -W -f '${Version}' qemu-user)" >&2
