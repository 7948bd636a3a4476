#!/usr/bin/env bash
# The main job: builds the 32-bit Orvandel.dll, says what it is (size,
# imports, exports) and shows its message box under 32-bit Wine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup-deps.sh
mkdir -p build

cmake --preset win32 >build/win32.configure.log 2>&1 || { cat build/win32.configure.log; exit 1; }
cmake --build --preset win32

dll=build/win32/Orvandel.dll
dump=$(i686-w64-mingw32-objdump -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | paste -sd' ' -)
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[[ 0-9]*\] //p' | paste -sd' ' -)
echo
echo "Orvandel.dll built: $dll, $(stat -c %s "$dll") bytes"
echo "  imports from: ${imports:-nothing}"
echo "  exports:      ${exports:-nothing}"
exec bash scripts/show-box.sh 32
