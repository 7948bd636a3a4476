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
cmake --preset win32 >build/win32.configure.log 2>&1 || { cat build/win32.configure.log; exit 1; }
cmake --build --preset win32 --target Orvandel

dll=build/win32/Orvandel.dll
dump=$(i686-w64-mingw32-objdump -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | paste -sd' ' -)
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[[ 0-9]*\] //p' | paste -sd' ' -)

echo
echo "Orvandel.dll built: $dll, $(stat -c %s "$dll") bytes"
echo "  imports from: ${imports:-nothing}"
echo "  exports:      ${exports:-nothing}"
if [[ -z $exports ]]; then
  echo "The message box is not there yet: the DLL has its entry point, per-thread"
  echo "contexts, error numbers and dynamic strings, but no Orvandel function to call."
  echo "Its tests: bash scripts/test.sh"
  exit 0
fi
echo "The DLL exports ${exports}, but this demo does not call it yet."
