#!/usr/bin/env bash
# Builds the import fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs it for a bounded time over a fresh corpus: exported files in both resolutions and
# their variants, plus the bmpsuite images when ../shared/bmpsuite exists. Exits non-zero on
# any finding (crash, sanitizer report, the harness's own disagreement, timeout).
#
#   tests/fuzz/run_fuzz.sh [--out DIR] [--seconds N]    defaults: build/fuzz, 60
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=60
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: $0 [--out DIR] [--seconds N]" >&2; exit 2 ;;
  esac
done

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "run_fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
mkdir -p "$out/obj" "$out/findings"

# Everything the import runs through, instrumented; the texts are compiled by g++ because
# only it converts the UTF-8 source to code page 932.
product=(
  src/convert/import_bitmap.cpp src/convert/export_gram.cpp src/convert/bitmap_check.cpp
  src/convert/gram_codec.cpp src/convert/gram_codec_simd.cpp src/convert/gram_codec_sse2.cpp
  src/convert/gram_codec_avx2.cpp src/convert/bitmap_layout.cpp
  src/common/show_message.cpp src/host/module_state.cpp src/platform/platform_posix.cpp
  src/platform/message_box_handler.cpp
)
flags=(-std=c++17 -O1 -g -Wall -Wextra -I"$root/src" -fno-sanitize-recover=all)
instrument=(-fsanitize=fuzzer-no-link,address,undefined)

build() {
  local objs=() src obj
  for src in "${product[@]}" tests/fuzz/import_fuzz.cpp tests/fuzz/make_seeds.cpp; do
    obj=$out/obj/$(basename "${src%.cpp}").o
    "$cxx" "${flags[@]}" "${instrument[@]}" -c "$root/$src" -o "$obj"
    objs+=("$obj")
  done
  g++ -std=c++17 -O1 -I"$root/src" -finput-charset=UTF-8 -fexec-charset=CP932 \
    -c "$root/src/common/texts.cpp" -o "$out/obj/texts.o"
  local n=${#product[@]}
  "$cxx" -fsanitize=fuzzer,address,undefined "${objs[@]:0:n}" "${objs[n]}" "$out/obj/texts.o" \
    -o "$out/import_fuzz.new"
  "$cxx" -fsanitize=address,undefined "${objs[@]:0:n}" "${objs[n+1]}" "$out/obj/texts.o" \
    "$("$cxx" -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)" -o "$out/make_seeds.new"
  # Renamed into place, so a run still using the old programs is not disturbed.
  mv "$out/make_seeds.new" "$out/make_seeds"
  mv "$out/import_fuzz.new" "$out/import_fuzz"
}

cd "$root"
if [ ! -x "$out/import_fuzz" ] || [ ! -x "$out/make_seeds" ] ||
  [ -n "$(find src tests/fuzz -newer "$out/import_fuzz" -print -quit)" ]; then
  echo "run_fuzz.sh: building with $cxx into $out"
  build
fi

work=$(mktemp -d "$out/corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/seeds" "$work/new"
"$out/make_seeds" "$work/seeds"
corpora=("$work/new" "$work/seeds")
suite=$root/../shared/bmpsuite
for d in g q b; do
  [ -d "$suite/$d" ] && corpora+=("$suite/$d")
done
[ ${#corpora[@]} -gt 2 ] || echo "run_fuzz.sh: $suite not found; seeding with exported files only"

echo "run_fuzz.sh: fuzzing for $seconds s"
status=0
"$out/import_fuzz" -max_total_time="$seconds" -max_len=66000 -timeout=30 \
  -print_final_stats=1 -artifact_prefix="$out/findings/" "${corpora[@]}" 2>"$work/log" ||
  status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$work/log" || true
if [ $status -ne 0 ]; then
  tail -n 60 "$work/log" >&2
  echo "run_fuzz.sh: FINDING (exit $status); inputs kept in $out/findings/" >&2
  exit 1
fi
echo "run_fuzz.sh: no finding"
