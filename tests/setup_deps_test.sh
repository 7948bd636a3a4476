#!/usr/bin/env bash
# The set-up counts a package as present only when dpkg has it installed and
# configured: against a dpkg database of our own, every package it wants is
# installed but for a few left in the states an interrupted dpkg leaves, and
# exactly those must be the ones it would install.
set -euo pipefail
setup=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/scripts/setup-deps.sh
db=$(mktemp -d)
trap 'rm -rf "$db"' EXIT
mkdir -p "$db/info" "$db/updates"
: >"$db/status"

mapfile -t wanted < <(bash "$setup" --missing --admindir "$db")
if ((${#wanted[@]} < 5)); then
  echo "FAIL: with an empty database only ${#wanted[@]} package(s) are missing: ${wanted[*]}" >&2
  exit 1
fi

# Status per package, by its place in the list; every other one is installed.
declare -A broken=(
  [0]="install reinstreq half-installed"
  [1]="install ok unpacked"
  [2]="install ok half-configured"
  [3]="deinstall ok config-files"
)
expected=()
for i in "${!wanted[@]}"; do
  p=${wanted[i]} arch=amd64
  [[ $p == *:* ]] && arch=${p#*:} p=${p%%:*}
  status=${broken[$i]:-install ok installed}
  [[ -n ${broken[$i]:-} ]] && expected+=("${wanted[i]}")
  printf 'Package: %s\nStatus: %s\nArchitecture: %s\nMaintainer: none\nVersion: 1\nDescription: test\n\n' \
    "$p" "$status" "$arch" >>"$db/status"
done

got=$(bash "$setup" --missing --admindir "$db")
want=$(printf '%s\n' "${expected[@]}")
if [[ $got != "$want" ]]; then
  printf 'FAIL: missing packages\n  expected: %s\n  got:      %s\n' "$(echo $want)" "$(echo $got)" >&2
  exit 1
fi
echo "ok: ${#expected[@]} packages in unfinished states count as missing, ${#wanted[@]} checked"

# A failed install is reported as what failed. Stand-ins for apt-get, dpkg
# and sleep on the PATH play each case; the database above has packages to
# install, and nothing of the machine's is touched.
fakes=$db/fakes
mkdir -p "$fakes"
fake() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$fakes/$1" && chmod +x "$fakes/$1"; }
fake sleep ':'
fake dpkg 'case $1 in --print-foreign-architectures) echo i386 ;; *) : ;; esac'
check_failure() {
  local name=$1 update=$2 install=$3 says=$4 never=$5 out
  fake apt-get "case \$1 in update) $update ;; *) $install ;; esac"
  if out=$(PATH=$fakes:$PATH bash "$setup" --admindir "$db" 2>&1); then
    echo "FAIL: $name: the set-up succeeded" >&2
    exit 1
  fi
  if ! grep -q "$says" <<<"$out" || grep -q "$never" <<<"$out"; then
    printf 'FAIL: %s: expected "%s" and never "%s" in:\n%s\n' "$name" "$says" "$never" "$out" >&2
    exit 1
  fi
}
check_failure "dpkg fails" 'exit 0' \
  'echo "E: Sub-process /usr/bin/dpkg returned an error code (1)"; exit 100' \
  'dpkg failed while installing' 'middle of a sync'
check_failure "an index is missing" \
  'echo "E: Failed to fetch http://deb.example/i386/Packages  File has unexpected size"; exit 100' \
  'echo "E: Unable to locate package wine32:i386"; exit 100' \
  'middle of a sync' 'dpkg failed'
echo "ok: a dpkg failure and a missing index are told apart"
