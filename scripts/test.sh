#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests
#   native (Debug)          GoogleTest unit tests
#   asan (ASan + UBSan)     the same tests
#   fuzz (clang, libFuzzer) each tests/fuzz/fuzz_*.cpp for a bounded run
#   win32 (i686 MinGW)      Orvandel.dll, its image check, and the Win32
#                           tests under Wine on an Xvfb of our own
# and ends with one line "N passed, N failed" (", N skipped" when some could
# not run), counted over all ctest runs. Exit status 0 only when nothing
# failed.
#
#   bash scripts/test.sh [native|asan|fuzz|win32]...   (default: all four)
#
# ORVANDEL_REQUIRE_WINE=1 turns "Wine cannot run on this machine" into a
# failure instead of skipped tests.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
started=$SECONDS
configs=("$@")
((${#configs[@]})) || configs=(native asan fuzz win32)

passed=0 failed=0 skipped=0 broken=()

say() { printf '\n=== %s (%d s)\n' "$*" $((SECONDS - started)); }

# Adds the counts of one ctest run, read from its JUnit report.
count_ctest() {
  local report=$1 head tests fails skips
  if [[ ! -f $report ]]; then
    broken+=("$2: no ctest report")
    return
  fi
  # The attributes of the opening tag stand on lines of their own.
  head=$(tr '\n\t' '  ' <"$report" | grep -o -m1 '<testsuite [^>]*')
  tests=$(grep -o '[[:space:]]tests="[0-9]*"' <<<"$head" | grep -o '[0-9][0-9]*')
  fails=$(grep -o '[[:space:]]failures="[0-9]*"' <<<"$head" | grep -o '[0-9][0-9]*')
  skips=$(grep -o '[[:space:]]skipped="[0-9]*"' <<<"$head" | grep -o '[0-9][0-9]*')
  tests=${tests:-0} fails=${fails:-0} skips=${skips:-0}
  passed=$((passed + tests - fails - skips))
  failed=$((failed + fails))
  skipped=$((skipped + skips))
}

# Makes the Wine prefix before the tests start, so its first-time setup
# does not eat into the first test's time limit. 77: Wine cannot run here,
# and the tests will say so as skipped.
make_wine_prefix() {
  say "win32: wine prefix"
  local rc=0
  scripts/wine-prefix.sh "$root/build/win32/wineprefix" || rc=$?
  if ((rc != 0 && rc != 77)); then
    broken+=("win32: wine prefix")
    return 1
  fi
}

# configure, build and test one preset; a step that breaks counts as a failure.
run_preset() {
  local preset=$1 dir=$root/build/$1 before_test=${2:-}
  say "$preset: configure"
  if ! cmake --preset "$preset" >"$root/build/$preset.configure.log" 2>&1; then
    cat "$root/build/$preset.configure.log"
    broken+=("$preset: configure")
    return 1
  fi
  say "$preset: build"
  if ! cmake --build --preset "$preset"; then
    broken+=("$preset: build")
    return 1
  fi
  if [[ -n $before_test ]]; then
    $before_test || return 1
  fi
  say "$preset: test"
  rm -f "$dir/ctest-junit.xml"
  ctest --test-dir "$dir" --output-on-failure -j2 --output-junit "$dir/ctest-junit.xml" \
    || true
  count_ctest "$dir/ctest-junit.xml" "$preset"
}

mkdir -p build

say "dependencies"
if ! bash scripts/setup-deps.sh; then
  broken+=("setup-deps")
fi

for config in "${configs[@]}"; do
  case $config in
    native | asan | fuzz) run_preset "$config" ;;
    win32)
      # The Win32 tests open windows: give them a display of their own and
      # a running Wine server for the whole run, and stop both afterwards.
      source scripts/xvfb.sh
      trap 'xvfb_stop' EXIT
      if xvfb_start; then
        echo "Xvfb on $DISPLAY"
        skipped_before=$skipped
        run_preset win32 make_wine_prefix
        if ((skipped > skipped_before)); then
          echo "Win32 tests skipped:"
          scripts/wine-prefix.sh "$root/build/win32/wineprefix" 2>&1 | sed 's/^/  /'
        fi
        if [[ -f $root/build/win32/wineprefix/.orvandel-ready ]]; then
          WINEPREFIX=$root/build/win32/wineprefix timeout 30 wineserver -k 2>/dev/null || true
        fi
        xvfb_stop
      else
        broken+=("win32: no display")
      fi
      if ((skipped)) && [[ ${ORVANDEL_REQUIRE_WINE:-0} == 1 ]]; then
        broken+=("win32: Wine cannot run here and ORVANDEL_REQUIRE_WINE=1")
      fi
      ;;
    *) echo "unknown configuration: $config" >&2; broken+=("$config: unknown") ;;
  esac
done

echo
for b in "${broken[@]}"; do echo "BROKEN: $b"; done
((skipped)) && echo "NOTE: $skipped test(s) skipped (see \"Win32 tests skipped\" above)"
echo "elapsed: $((SECONDS - started)) s"
line="$((passed)) passed, $((failed + ${#broken[@]})) failed"
((skipped)) && line+=", $skipped skipped"
echo "$line"
((failed == 0 && ${#broken[@]} == 0))
