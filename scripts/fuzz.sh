#!/usr/bin/env bash
# Fuzzes one target for longer than the tests do, in build/fuzz, keeping what it finds new in
# build/fuzz/corpus/TARGET for the next run (so coverage grows run after run), at low priority
# so builds beside it are not starved. Arguments after the target go to run_fuzz.sh:
#   scripts/fuzz.sh stb --seconds 600 --workers 2
#   scripts/fuzz.sh rle --runs 5000000
# Without --seed each run takes a new one (logged); every run's figures end up in
# build/fuzz/runs.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case ${1:-} in -h | --help) exec "$root/tests/fuzz/run_fuzz.sh" --help ;; esac
if [ $# -lt 1 ] || [ "${1#-}" != "$1" ]; then
  echo "usage: $0 import|stb|png|rle|engine|exif|fit [run_fuzz.sh options]" >&2
  exit 2
fi
target=$1
shift
exec nice -n 15 "$root/tests/fuzz/run_fuzz.sh" --target "$target" \
  --corpus "$root/build/fuzz/corpus/$target" "$@"
