#!/usr/bin/env bash
# Builds a fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs it for a bounded time over a fresh corpus. Exits non-zero on any finding (crash,
# sanitizer report, the harness's own disagreement, timeout, memory limit).
#   import: the plug-in's import; seeds are exported files in both resolutions and their
#           variants, plus the bmpsuite images when ../shared/bmpsuite exists.
#   fit:    gramconv's picture fit (stb_image, RLE bitmaps, WebP, the scaling); seeds are
#           small pictures in every format it reads, plus GIF, PSD, palette bitmaps (RLE8 too)
#           and WebP (lossless, lossy, alpha, animated) when ImageMagick is there.
#
#   tests/fuzz/run_fuzz.sh [--target import|fit] [--out DIR] [--seconds N] [--seed N]
#   defaults: import, build/fuzz, 60, a new seed each run (the tests fix one, so a finding in
#   a test run can be replayed with the same seed)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=60
seed=0
target=import
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --target) target=$2; shift 2 ;;
    *) echo "usage: $0 [--target import|fit] [--out DIR] [--seconds N] [--seed N]" >&2; exit 2 ;;
  esac
done

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "run_fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
case $target in
  import | fit) ;;
  *) echo "run_fuzz.sh: unknown target $target" >&2; exit 2 ;;
esac
mkdir -p "$out/obj" "$out/findings"

# Everything the import runs through, instrumented; the texts are compiled by g++ because
# only it converts the UTF-8 source to code page 932.
# The codecs and the bitmap layout, which both fuzzers run through.
codecs=(
  src/convert/gram_codec.cpp src/convert/gram_codec_simd.cpp src/convert/gram_codec_sse2.cpp
  src/convert/gram_codec_avx2.cpp src/convert/bitmap_layout.cpp
)
product=(
  src/convert/import_bitmap.cpp src/convert/export_gram.cpp src/convert/bitmap_check.cpp
  "${codecs[@]}" src/common/show_message.cpp src/host/module_state.cpp src/platform/platform_posix.cpp
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

# The fit: stb_image is instrumented with it, as it is where hostile bytes are read.
# PNG goes through libpng, inflating by ISA-L, and WebP through libwebp, as in the native
# gramconv (libpng, ISA-L and libwebp themselves are not instrumented).
fit_product=(tools/fit/picture_decode.cpp tools/fit/bmp_rle.cpp tools/fit/webp_decode.cpp
  tools/fit/png_decode.cpp tools/fit/inflate_isal.cpp tools/fit/picture_fit.cpp
  tools/fit/canvas_scaler.cpp tools/fit/colour_map.cpp tools/fit/scaling_sink_threads.cpp
  "${codecs[@]}")
fit_flags=(-I"$root/tools/fit" -isystem /usr/include/stb -DFIT_LIBPNG=1 -DFIT_LIBWEBP=1)

build_fit() {
  local objs=() src obj
  for src in "${fit_product[@]}" tests/fuzz/fit_fuzz.cpp; do
    obj=$out/obj/fit-$(basename "${src%.cpp}").o
    # stb_image (inside picture_decode.cpp) copies zero bytes to a null buffer for a PNG whose
    # first IDAT chunk is empty: harmless, but UBSan's nonnull check stops on it. Its PSD matte
    # removal casts out-of-range floats to bytes; made to saturate, as gramconv's CMake does.
    local quiet=()
    [ "$(basename "$src")" = picture_decode.cpp ] &&
      quiet=(-fno-sanitize=nonnull-attribute,float-cast-overflow -fno-strict-float-cast-overflow)
    "$cxx" "${flags[@]}" "${fit_flags[@]}" "${instrument[@]}" "${quiet[@]}" -c "$root/$src" -o "$obj"
    objs+=("$obj")
  done
  local libpng libwebp
  libpng=$(find /usr/lib -name libpng16.a -print -quit)
  libwebp=(-Wl,-Bstatic -lwebpdemux -lwebp -Wl,-Bdynamic -lpthread)
  "$cxx" -fsanitize=fuzzer,address,undefined "${objs[@]}" "$libpng" "${libwebp[@]}" -lisal -lz \
    -lm -o "$out/fit_fuzz.new"
  "$cxx" -std=c++17 -O1 -Wall -Wextra -isystem /usr/include/stb "$root/tests/fuzz/fit_seeds.cpp" \
    -o "$out/fit_seeds.new"
  mv "$out/fit_seeds.new" "$out/fit_seeds"
  mv "$out/fit_fuzz.new" "$out/fit_fuzz"
}

# Pictures of the formats stb_image_write cannot make, written by ImageMagick when present.
magick_seeds() {
  local convert=/usr/bin/convert src=$1/16x8-3.png dir=$1
  [ -x "$convert" ] || convert=$(command -v convert || true)
  if [ -z "$convert" ]; then
    echo "run_fuzz.sh: ImageMagick not found; no GIF, PSD or palette BMP seeds"
    return
  fi
  "$convert" "$src" "GIF:$dir/m.gif"
  "$convert" "$dir/16x8-4.png" "GIF:$dir/m-alpha.gif"
  "$convert" "$src" "PSD:$dir/m.psd"
  "$convert" "$src" -type Palette "BMP3:$dir/m8.bmp"
  "$convert" "$src" -colors 8 "BMP3:$dir/m4.bmp"
  "$convert" "$src" -type Palette -compress RLE "BMP3:$dir/m-rle8.bmp"
  "$convert" "$src" -colorspace Gray "PGM:$dir/m.pgm"
  "$convert" "$src" -depth 16 "PNG48:$dir/m16.png"
  "$convert" "$src" -interlace line "JPEG:$dir/m-progressive.jpg"
  "$convert" "$src" -define webp:lossless=true "WEBP:$dir/m-lossless.webp"
  "$convert" "$src" -quality 60 "WEBP:$dir/m-lossy.webp"
  "$convert" "$dir/16x8-4.png" -quality 60 "WEBP:$dir/m-alpha.webp"
  "$convert" "$dir/16x8-4.png" -define webp:lossless=true "WEBP:$dir/m-alpha-lossless.webp"
  "$convert" -delay 10 "$src" "$dir/7x5-4.png" -loop 0 "WEBP:$dir/m-animated.webp"
}

# fuzz PROGRAM ARTIFACT_PREFIX LIBFUZZER_ARGS... : runs one fuzzer for the time given and
# exits with the verdict.
fuzz() {
  local program=$1 prefix=$2 status=0
  shift 2
  "$out/$program" -seed="$seed" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$out/findings/$prefix" "$@" 2>"$work/log" || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$work/log" || true
  if [ $status -ne 0 ]; then
    tail -n 60 "$work/log" >&2
    echo "run_fuzz.sh: FINDING (exit $status); inputs kept in $out/findings/" >&2
    exit 1
  fi
  echo "run_fuzz.sh: no finding"
  exit 0
}

# stale PROGRAM SEEDER FOLDER...: true when either program is missing or a source in the
# folders is newer than the fuzzer.
stale() {
  local program=$1 seeder=$2
  shift 2
  [ ! -x "$out/$program" ] || [ ! -x "$out/$seeder" ] ||
    [ -n "$(find "$@" -newer "$out/$program" -print -quit)" ]
}

# new_corpus NAME SEEDER: a fresh corpus in $work (gone at exit), the seeder's files in
# $work/seeds and room for new inputs in $work/new.
new_corpus() {
  work=$(mktemp -d "$out/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/seeds" "$work/new"
  "$out/$2" "$work/seeds"
}

cd "$root"
if [ "$target" = fit ]; then
  if stale fit_fuzz fit_seeds src tools/fit tests/fuzz; then
    echo "run_fuzz.sh: building the fit fuzzer with $cxx into $out"
    build_fit
  fi
  new_corpus fit-corpus fit_seeds
  magick_seeds "$work/seeds"
  echo "run_fuzz.sh: fuzzing the fit for $seconds s over $(ls "$work/seeds" | wc -l) seeds"
  fuzz fit_fuzz fit- -max_len=8192 -timeout=60 -rss_limit_mb=2560 "$work/new" "$work/seeds"
fi

if stale import_fuzz make_seeds src tests/fuzz; then
  echo "run_fuzz.sh: building with $cxx into $out"
  build
fi
new_corpus corpus make_seeds
corpora=("$work/new" "$work/seeds")
suite=$root/../shared/bmpsuite
for d in g q b; do
  [ -d "$suite/$d" ] && corpora+=("$suite/$d")
done
[ ${#corpora[@]} -gt 2 ] || echo "run_fuzz.sh: $suite not found; seeding with exported files only"

echo "run_fuzz.sh: fuzzing for $seconds s"
fuzz import_fuzz "" -max_len=66000 -timeout=30 "${corpora[@]}"
