#!/usr/bin/env bash
# Makes the release zips. Builds Orvandel.dll and the demo in a fresh build
# folder per architecture and writes
#   dist/Orvandel-<version>-win32.zip   for x86 (32-bit) hosts
#   dist/Orvandel-<version>-win64.zip   for x64 (64-bit) hosts
#   dist/SHA256SUMS                     of the zips
# <version> is the CMake project version, the one in the DLL's version
# resource and in the CMake package. Each zip holds the install tree
#   bin/Orvandel.dll  bin/orvandel-demo.exe  include/orvandel.h
#   lib/Orvandel.lib (MSVC, lld-link)  lib/libOrvandel.dll.a (MinGW)
#   lib/cmake/Orvandel/ (find_package)
# and README.txt (README.md's part for the Windows developer), LICENSE, and
# SHA256SUMS of every other file in it.
#
# The same tree gives the same bytes: the binaries carry no link time and no
# build folder, strip stamps SOURCE_DATE_EPOCH into the PE header, and every
# zip entry has that time, mode 0644, no extra fields and its place in a
# sorted list. SOURCE_DATE_EPOCH defaults to the last commit's time.
#
#   bash scripts/package.sh [--arch win32|win64]... [--out DIR] [--build-root DIR] [--no-deps]
#   bash scripts/package.sh --pack BUILD_DIR OUT_DIR
#
# --pack zips an existing, built win32 or win64 build folder into OUT_DIR (no
# build, no dist/SHA256SUMS); the package tests zip their own build with it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
started=$SECONDS

# What a zip holds, sorted as the zip lists it.
contents=(
  LICENSE
  README.txt
  SHA256SUMS
  bin/Orvandel.dll
  bin/orvandel-demo.exe
  include/orvandel.h
  lib/Orvandel.lib
  lib/cmake/Orvandel/OrvandelConfig.cmake
  lib/cmake/Orvandel/OrvandelConfigVersion.cmake
  lib/libOrvandel.dll.a
)

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
  # Outside a checkout: a fixed time still gives the same bytes every run.
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1767225600}
fi
export SOURCE_DATE_EPOCH
export LC_ALL=C TZ=UTC   # sort order; zip writes local time

die() { echo "package: $*" >&2; exit 1; }

# Windows line ends for the text files a Windows user opens.
crlf() { sed 's/\r$//; s/$/\r/'; }

# README.txt: README.md up to the line that ends its part for the Windows
# developer (what it is, download, link, call); building and testing stay
# behind, and so do the images. Cut at that line rather than picked by
# section titles, so a heading renamed or added changes README.txt only as
# it changes README.md. Without the line, no zip.
readme_end='<!-- README.txt, the zip'"'"'s copy for the Windows developer, is this file up to here. -->'
readme_txt() {
  grep -qxF "$readme_end" "$root/README.md" || die "README.md has lost the line that ends README.txt: $readme_end"
  awk -v end="$readme_end" '$0 == end { exit } /^!\[/ { next } { print }' "$root/README.md" | cat -s |
    sed '${/^$/d}' | crlf
}

# pack BUILD_DIR OUT_DIR: zips the build's install tree, prints the zip's path.
pack() {
  local build=$1 out=$2 name stage tree listed zipfile
  [[ -f $build/package-name.txt ]] || die "$build is not a configured win32/win64 build"
  name=$(<"$build/package-name.txt")
  stage=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$stage'" RETURN
  tree=$stage/$name
  # --strip: the symbol table is of no use to a Windows host; strip writes
  # SOURCE_DATE_EPOCH as the PE time.
  cmake --install "$build" --prefix "$tree" --strip >"$stage/install.log" ||
    { cat "$stage/install.log" >&2; die "install of $build failed"; }
  readme_txt >"$tree/README.txt"
  crlf <"$root/LICENSE" >"$tree/LICENSE"
  (cd "$tree" && find . -type f | sed 's|^\./||' | sort | xargs sha256sum >"$stage/SHA256SUMS")
  mv "$stage/SHA256SUMS" "$tree/SHA256SUMS"

  listed=$(cd "$tree" && find . -type f | sed 's|^\./||' | sort)
  if [[ $listed != "$(printf '%s\n' "${contents[@]}")" ]]; then
    diff <(printf '%s\n' "${contents[@]}") <(echo "$listed") >&2 || true
    die "$name: the install tree is not what a zip holds (- missing, + extra)"
  fi

  find "$tree" -type f -exec chmod 0644 {} + -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  mkdir -p "$out"
  zipfile=$(cd "$out" && pwd)/$name.zip
  rm -f "$zipfile"
  # -X: no uid/gid or extra time fields; -D: no directory entries.
  (cd "$tree" && printf '%s\n' "${contents[@]}" | zip -X -D -q -@ "$stage/$name.zip")
  mv "$stage/$name.zip" "$zipfile"
  echo "$zipfile"
}

if [[ ${1:-} == --pack ]]; then
  [[ $# -eq 3 ]] || die "usage: package.sh --pack BUILD_DIR OUT_DIR"
  pack "$2" "$3"
  exit 0
fi

arches=() out=$root/dist build_root=$root/build/package deps=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --arch) arches+=("$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    --build-root) build_root=$2; shift 2 ;;
    --no-deps) deps=0; shift ;;
    *) die "unknown argument $1 (see the head of scripts/package.sh)" ;;
  esac
done
((${#arches[@]})) || arches=(win32 win64)
for arch in "${arches[@]}"; do
  [[ $arch == win32 || $arch == win64 ]] || die "unknown architecture $arch (win32 or win64)"
done

cd "$root"
((deps)) && bash scripts/setup-deps.sh
mkdir -p "$build_root" "$out"
zips=()
for arch in "${arches[@]}"; do
  build=$build_root/$arch
  rm -rf "$build"
  echo "package: $arch: configure and build in $build" >&2
  cmake --preset "$arch" -B "$build" -DORVANDEL_TESTS=OFF >"$build_root/$arch.configure.log" 2>&1 ||
    { cat "$build_root/$arch.configure.log" >&2; die "$arch: configure failed"; }
  cmake --build "$build" -j2 --target Orvandel orvandel-demo orvandel_implibs >"$build_root/$arch.build.log" 2>&1 ||
    { cat "$build_root/$arch.build.log" >&2; die "$arch: build failed"; }
  zip=$(pack "$build" "$out")
  zips+=("$zip")
done
(cd "$out" && for z in "${zips[@]}"; do basename "$z"; done | sort | xargs sha256sum >SHA256SUMS)

for z in "${zips[@]}"; do
  echo "$(basename "$z"): $(stat -c %s "$z") bytes"
done
echo "$out/SHA256SUMS:"
sed 's/^/  /' "$out/SHA256SUMS"
echo "package: done in $((SECONDS - started)) s"
