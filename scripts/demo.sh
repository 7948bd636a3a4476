#!/usr/bin/env bash
# The main job: show a message box drawn by Orvandel.dll.
#
# Until the exported function exists this builds the DLL and says what it
# can show so far: the DLL, its size, what it imports and exports.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh
mkdir -p build

# The DLL is 32-bit. Where this kernel runs no 32-bit programs, 32-bit Wine
# cannot start; the box is then shown by the same sources built for x86_64
# under 64-bit Wine, and the 32-bit DLL is still built and described.
arch=32
if ! timeout 120 /usr/lib/wine/wine --version >/dev/null 2>&1; then
  arch=64
fi
for a in 32 $([[ $arch == 64 ]] && echo 64); do
  cmake --preset win$a >build/win$a.configure.log 2>&1 || { cat build/win$a.configure.log; exit 1; }
  cmake --build --preset win$a
done

dll=build/win32/Orvandel.dll
dump=$(i686-w64-mingw32-objdump -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | paste -sd' ' -)
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[[ 0-9]*\] //p' | paste -sd' ' -)
echo
echo "Orvandel.dll built: $dll, $(stat -c %s "$dll") bytes"
echo "  imports from: ${imports:-nothing}"
echo "  exports:      ${exports:-nothing}"
if [[ $arch == 64 ]]; then
  echo "32-bit Wine cannot start here (this kernel runs no 32-bit programs); the box below"
  echo "is the same sources built for x86_64, under 64-bit Wine."
fi
exec bash scripts/show-box.sh "$arch"
