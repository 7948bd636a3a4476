#!/usr/bin/env bash
# The release zip as a Windows developer gets it (registered with ctest by
# tests/package/CMakeLists.txt, one set per architecture):
#
#   run.sh zip BUILD_DIR WORK_DIR -- EMULATOR...
#       zips this build with scripts/package.sh --pack, unpacks it into
#       WORK_DIR/unpacked, checks its SHA256SUMS, that its README.txt shows
#       how to call the DLL and nothing of building it, and that the demo in
#       it prints the zip's version for itself and for the DLL's resource
#   run.sh mingw WORK_DIR TOOLCHAIN -- EMULATOR...
#       builds tests/package/consumer (find_package + Orvandel::Orvandel)
#       with that MinGW toolchain and runs it: its box is answered with 2
#   run.sh msvc WORK_DIR win32|win64 -- EMULATOR...
#       compiles host.c with clang's MSVC target, links it with lld-link
#       against the zip's Orvandel.lib, and runs it the same way
#   run.sh reproducible WORK_DIR win32|win64
#       runs scripts/package.sh for the architecture in a fresh build
#       folder elsewhere and compares its zip with the one the other tests
#       used, byte for byte
#
# EMULATOR is how Windows programs run here (scripts/wine-run with the
# build's prefix); 77 from it means Wine cannot run (ctest: skipped).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

mode=$1
shift
args=()
while [[ $# -gt 0 && $1 != -- ]]; do args+=("$1"); shift; done
[[ ${1:-} == -- ]] && shift
emulator=("$@")

fail() { echo "FAIL: $*" >&2; exit 1; }

# run_host EXE WANT: runs a host whose box answers itself; its output and
# exit code must both be the answer.
run_host() {
  local exe=$1 want=$2 out rc=0
  out=$("${emulator[@]}" "$exe" | tr -d '\r') || rc=$?
  ((rc != 77)) || exit 77
  echo "$(basename "$exe"): exit $rc, printed: $out"
  [[ $out == "answer $want" && $rc == "$want" ]] || fail "$(basename "$exe") did not bring back the answer $want"
}

case $mode in
  zip)
    build=${args[0]} work=${args[1]}
    rm -rf "$work"
    mkdir -p "$work"
    zip=$(bash "$root/scripts/package.sh" --pack "$build" "$work")
    ln -s "$(basename "$zip")" "$work/package.zip"
    unzip -q "$zip" -d "$work/unpacked"
    cd "$work/unpacked"
    sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not match the files"
    listed=$(sed 's/^[0-9a-f]*  //' SHA256SUMS)
    entries=$(unzip -Z1 "$zip" | grep -vx SHA256SUMS)
    [[ $listed == "$entries" ]] || fail "SHA256SUMS does not list every file: $listed"
    # The Windows developer's part of README.md, whatever its headings say.
    grep -q 'int __stdcall Orvandel(BSTR\* caption' README.txt || fail "README.txt does not show the prototype"
    grep -q 'include/orvandel.h' README.txt || fail "README.txt does not point to the header's contract"
    if grep -q 'scripts/test.sh' README.txt; then fail "README.txt holds the building and testing part"; fi
    name=$(basename "$zip" .zip)
    version=${name#Orvandel-}
    version=${version%-win??}
    out=$("${emulator[@]}" bin/orvandel-demo.exe --version | tr -d '\r') || { rc=$?; ((rc != 77)) || exit 77; fail "orvandel-demo --version: exit $rc"; }
    echo "$out"
    [[ $out == "orvandel-demo $version"$'\n'"Orvandel.dll $version" ]] ||
      fail "the demo and the DLL should both say $version (the zip's name)"
    ;;
  mingw)
    work=${args[0]} toolchain=${args[1]}
    rm -rf "$work/consumer"
    # An outside project: only the toolchain and where the zip was unpacked.
    cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DOrvandel_DIR="$work/unpacked/lib/cmake/Orvandel" \
      >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "the consumer did not configure"; }
    cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 ||
      { cat "$work/consumer.log"; fail "the consumer did not build"; }
    [[ -f $work/consumer/Orvandel.dll ]] || fail "the package named no DLL to copy beside the host"
    run_host "$work/consumer/orvandel-package-host.exe" 2
    ;;
  msvc)
    work=${args[0]} arch=${args[1]}
    dir=$work/msvc
    rm -rf "$dir"
    mkdir -p "$dir"
    if [[ $arch == win32 ]]; then
      target=i686-pc-windows-msvc machine=i386 define=-D_X86_ mingw=i686-w64-mingw32
    else
      target=x86_64-pc-windows-msvc machine=i386:x86-64 define=-D_AMD64_ mingw=x86_64-w64-mingw32
    fi
    # The MinGW headers stand in for the SDK's; they take the MSVC target
    # once told the architecture and allowed their GNU attributes.
    clang-14 --target=$target $define -fgnuc-version=4.2.1 -nostdlibinc \
      -isystem /usr/$mingw/include -I "$work/unpacked/include" -O2 -Wall -Werror \
      -c "$here/host.c" -o "$dir/host.obj"
    # Short-format system import libraries, as the SDK's are (the MinGW ones
    # fail lld-link's /safeseh check on x86), for what host.c calls.
    system_libs=(
      "kernel32 CreateThread@24 ExitProcess@4 GetStdHandle@4 Sleep@4 WaitForSingleObject@8 WriteFile@20"
      "user32 FindWindowW@8 GetWindow@8 IsWindowVisible@4 PostMessageW@16 wsprintfA"
      "oleaut32 SysAllocString@4 SysFreeString@4"
    )
    libs=()
    for entry in "${system_libs[@]}"; do
      read -r lib names <<<"$entry"
      [[ $arch == win64 ]] && names=$(sed 's/@[0-9]*//g' <<<"$names")
      printf 'LIBRARY %s.dll\nEXPORTS\n%s\n' "$lib" "$(tr ' ' '\n' <<<"$names")" >"$dir/$lib.def"
      llvm-dlltool-14 -m $machine -k -d "$dir/$lib.def" -l "$dir/$lib.lib"
      libs+=("$dir/$lib.lib")
    done
    lld-link-14 /nologo /nodefaultlib /subsystem:console /entry:main /out:"$dir/host.exe" \
      "$dir/host.obj" "$work/unpacked/lib/Orvandel.lib" "${libs[@]}"
    cp "$work/unpacked/bin/Orvandel.dll" "$dir/"
    run_host "$dir/host.exe" 2
    ;;
  reproducible)
    work=${args[0]} arch=${args[1]}
    rebuild=$work/rebuild
    rm -rf "$rebuild"
    bash "$root/scripts/package.sh" --arch "$arch" --no-deps --build-root "$rebuild" --out "$rebuild/dist"
    first=$(readlink -f "$work/package.zip")
    second=$rebuild/dist/$(basename "$first")
    if ! cmp "$first" "$second"; then
      mkdir -p "$rebuild/a" "$rebuild/b"
      unzip -q "$first" -d "$rebuild/a"
      unzip -q "$second" -d "$rebuild/b"
      diff <(zipinfo -l "$first" | tail -n +2) <(zipinfo -l "$second" | tail -n +2) || true
      (cd "$rebuild/a" && find . -type f | sort | while read -r f; do cmp "$f" "../b/$f" || true; done)
      fail "two package runs gave different zips"
    fi
    echo "$(basename "$first"): the same bytes from $(dirname "$first") and from a fresh package run"
    rm -rf "$rebuild"
    ;;
  *)
    echo "usage: see the head of $0" >&2
    exit 2
    ;;
esac
