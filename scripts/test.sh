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
#   bash scripts/test.sh [native|asan|fuzz|win32|win64]... [--gtest_random_seed=N]
#
# A Windows test program that is skipped or not run (Wine cannot start, a
# test executable is missing) fails the run: those tests are the product's.
# Each Windows test program is one ctest test and runs its cases once, in
# an order shuffled with a seed that is printed (1..99999, random unless
# given): a case that leans on another's leftovers fails where it belongs,
# and --gtest_random_seed=N runs that order again. A case a program skips
# is invisible to ctest (the program exits 0), so it is read from the
# program's own report: in the Win32 run, the product's, it fails the run;
# in the x86_64 run it is counted and named as skipped.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=lib-wine.sh
source scripts/lib-wine.sh
started=$SECONDS
configs=() seed=
for arg in "$@"; do
  case $arg in
    --gtest_random_seed=*) seed=${arg#*=} ;;
    *) configs+=("$arg") ;;
  esac
done
((${#configs[@]})) || configs=(native asan fuzz win32 win64)
if [[ -z $seed ]]; then
  seed=$(((RANDOM * 32768 + RANDOM) % 99999 + 1))
elif ! [[ $seed =~ ^[0-9]+$ ]] || ((seed < 1 || seed > 99999)); then
  echo "--gtest_random_seed takes 1..99999, not $seed" >&2
  exit 2
fi

passed=0 failed=0 skipped=0 broken=()
# What ctest runs with (run_wine_preset sets it for the Windows programs).
test_env=()
shuffled=

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

# Adds the cases the Windows test programs of one preset skipped, read from
# the GoogleTest reports in $1 (one per program), and names them with why.
# When every program ran and passed ($3 = 1), one without its report fails
# the run: its skips could not be seen. The programs are those whose output
# in the ctest report shows GoogleTest starting.
count_gtest_skips() {
  local dir=$1 preset=$2 all_passed=$3 programs reports n list
  programs=$(grep -c '\[==========\] Running' "$root/build/$preset/ctest-junit.xml")
  reports=$(find "$dir" -name '*.xml' 2>/dev/null | wc -l)
  if ((all_passed && reports < programs)); then
    broken+=("$preset: $((programs - reports)) test program(s) left no GoogleTest report")
  fi
  # A skipped case's line, then its <skipped message="file:line&#x0A;why">.
  list=$(cat "$dir"/*.xml 2>/dev/null | sed -n \
    -e '/<testcase [^>]*result="skipped"/{s/.*<testcase name="\([^"]*\)".*classname="\([^"]*\)".*/\2.\1/;h;d;}' \
    -e '/<skipped message="/{s/.*<skipped message="\([^"]*\)".*/\1/;s/&#x0A;/ /g;s/&quot;/"/g;s/&lt;/</g;s/&gt;/>/g;s/&apos;/'"'"'/g;s/&amp;/\&/g;H;x;s/\n/: /;p;}')
  [[ -n $list ]] || return 0
  n=$(wc -l <<<"$list")
  skipped=$((skipped + n))
  echo "$preset cases skipped:"
  sed 's/^/  /' <<<"$list"
  if [[ $preset == win32 ]]; then
    broken+=("$preset: $n case(s) skipped in the product's run")
  fi
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
  local preset=win$1 skipped_before=$skipped failed_before=$failed prefix reports
  prefix=$(wine_prefix_of "$root/build/win$1")
  reports=$root/build/$preset/gtest-reports
  rm -rf "$reports"
  mkdir -p "$reports"
  # Wine's Z: is the Unix root.
  test_env=(GTEST_SHUFFLE=1 "GTEST_RANDOM_SEED=$seed" "GTEST_OUTPUT=xml:Z:$reports/")
  shuffled=1
  source scripts/xvfb.sh
  trap 'xvfb_stop' EXIT
  if ! xvfb_start; then
    broken+=("$preset: no display")
    return
  fi
  echo "Xvfb on $DISPLAY"
  run_preset "$preset" make_wine_prefix
  test_env=()
  if ((skipped > skipped_before)); then
    broken+=("$preset: $((skipped - skipped_before)) test(s) skipped")
    echo "$preset tests skipped:"
    grep -o '<testcase name="[^"]*"[^>]*status="notrun"' "$root/build/$preset/ctest-junit.xml" 2>/dev/null |
      sed 's/<testcase name="\([^"]*\)".*/  \1/'
    scripts/wine-prefix.sh --arch "$1" "$prefix" 2>&1 | sed 's/^/  /'
  fi
  if [[ -f $root/build/$preset/ctest-junit.xml ]]; then
    count_gtest_skips "$reports" "$preset" $((failed == failed_before && skipped == skipped_before))
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
  env ${test_env[@]+"${test_env[@]}"} \
    ctest --test-dir "$dir" --output-on-failure -j2 --output-junit "$dir/ctest-junit.xml" || true
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
((skipped)) && echo "NOTE: $skipped test(s) skipped (see \"skipped:\" above for why)"
[[ -n $shuffled ]] && echo "Windows test cases shuffled with --gtest_random_seed=$seed"
echo "elapsed: $((SECONDS - started)) s"
line="$((passed)) passed, $((failed + ${#broken[@]})) failed"
((skipped)) && line+=", $skipped skipped"
echo "$line"
((failed == 0 && ${#broken[@]} == 0))
