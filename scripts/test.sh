#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests
#   native (Debug)          GoogleTest unit tests
#   asan (ASan + UBSan)     the same tests
#   fuzz (clang, libFuzzer) each tests/fuzz/fuzz_*.cpp for a bounded run
#   win32 (i686 MinGW)      Orvandel.dll, the product: its image check and
#                           the Win32 tests under 32-bit Wine on an Xvfb of
#                           our own (through qemu-i386 where the kernel runs
#                           no 32-bit programs; setup-deps.sh arranges it)
#   win64 (x86_64 MinGW)    the same sources and tests under 64-bit Wine
# and ends with one line "N passed, N failed" (", N skipped" when some could
# not run), counted over all ctest runs. Exit status 0 only when nothing
# failed.
#
#   bash scripts/test.sh [native|asan|fuzz|win32|win64]...   (default: all)
#
# A Windows test that is skipped or not run (Wine cannot start, a test
# executable is missing) fails the run: those tests are the product's.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=lib-wine.sh
source scripts/lib-wine.sh
started=$SECONDS
configs=("$@")
((${#configs[@]})) || configs=(native asan fuzz win32 win64)

passed=0 failed=0 skipped=0 broken=()

say() { printf '\n=== %s (%d s)\n' "$*" $((SECONDS - started)); }

# Adds the counts of one ctest run, read from its JUnit report.
count_ctest() {
  local report=$1 head tests fails skips notrun
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
  # Tests that ctest could not start at all (a missing executable); ctest
  # marks skipped ones "notrun" too.
  notrun=$(grep -o 'status="notrun"' "$report" | wc -l)
  ((notrun <= skips)) || broken+=("$2: $((notrun - skips)) test(s) not run")
}

# Makes the Wine prefix before the tests start, so its first-time setup
# does not eat into the first test's time limit. 77: that Wine cannot run
# here (the reason is on stderr); the run stops there for this preset.
wine_arch=32
make_wine_prefix() {
  say "win$wine_arch: wine prefix"
  local rc=0
  scripts/wine-prefix.sh --arch "$wine_arch" "$(wine_prefix_of "$root/build/win$wine_arch")" || rc=$?
  if ((rc == 77)); then
    broken+=("win$wine_arch: Wine cannot run on this machine (see above)")
    return 1
  elif ((rc != 0)); then
    broken+=("win$wine_arch: wine prefix")
    return 1
  fi
}

# The Windows tests open windows: they get a display of their own and the
# Wine server is stopped afterwards.
run_wine_preset() {
  wine_arch=$1
  local preset=win$1 skipped_before=$skipped prefix
  prefix=$(wine_prefix_of "$root/build/win$1")
  source scripts/xvfb.sh
  trap 'xvfb_stop' EXIT
  if ! xvfb_start; then
    broken+=("$preset: no display")
    return
  fi
  echo "Xvfb on $DISPLAY"
  run_preset "$preset" make_wine_prefix
  if ((skipped > skipped_before)); then
    broken+=("$preset: $((skipped - skipped_before)) test(s) skipped")
    echo "$preset tests skipped:"
    grep -o '<testcase name="[^"]*"[^>]*status="notrun"' "$root/build/$preset/ctest-junit.xml" 2>/dev/null |
      sed 's/<testcase name="\([^"]*\)".*/  \1/'
    scripts/wine-prefix.sh --arch "$1" "$prefix" 2>&1 | sed 's/^/  /'
  fi
  if [[ -f $prefix/.orvandel-ready ]]; then
    wine_select "$1"
    wine_stop "$prefix"
  fi
  xvfb_stop
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
    win32) run_wine_preset 32 ;;
    win64) run_wine_preset 64 ;;
    *) echo "unknown configuration: $config" >&2; broken+=("$config: unknown") ;;
  esac
done

echo
for b in "${broken[@]}"; do echo "BROKEN: $b"; done
((skipped)) && echo "NOTE: $skipped test(s) skipped (see \"tests skipped:\" above for why)"
echo "elapsed: $((SECONDS - started)) s"
line="$((passed)) passed, $((failed + ${#broken[@]})) failed"
((skipped)) && line+=", $skipped skipped"
echo "$line"
((failed == 0 && ${#broken[@]} == 0))
