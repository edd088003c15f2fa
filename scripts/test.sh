#!/usr/bin/env bash
# Command 2: installs what is missing, builds both presets and runs every test: native
# unit tests, the 32-bit tests through the runner, checks of the DLL as a file, fuzzing.
# Exits non-zero when anything fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh" || { echo "test.sh: set-up failed" >&2; exit 1; }

status=0
step() {  # step NAME COMMAND...: runs one step, remembers a failure
  local name=$1
  shift
  echo "== $name"
  if ! "$@"; then
    echo "== $name: FAILED" >&2
    status=1
  fi
}

step "configure native" cmake --preset native
step "build native" cmake --build --preset native
step "test native" ctest --preset native -j2
step "configure mingw32" cmake --preset mingw32
step "build mingw32" cmake --build --preset mingw32
step "test mingw32" ctest --preset mingw32 -j2 --timeout 600

if [ $status -eq 0 ]; then echo "test.sh: all passed"; else echo "test.sh: FAILED" >&2; fi
exit $status
