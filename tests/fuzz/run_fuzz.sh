#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs it for a bounded time or number of executions over its seeds. Exits non-zero on
# any finding (crash, sanitizer report, the harness's own contract check, timeout, memory
# limit); prints the executions, their rate and the coverage (libFuzzer's cov and ft).
#
#   import: the plug-in's import; seeds are exported files in both resolutions and their
#           variants, plus the bmpsuite images; dictionary: the BMP header's fields.
#   stb:    stb_image's formats as gramconv reads them (DecodePicture, PNG left to stb, RLE
#           bitmaps expanded first); stops after the decode. Seeds: every format.
#   png:    libpng inflating through ISA-L (DecodePngWithLibpng), rows in bands of several
#           sizes, pixels compared with stb_image's where both read a file. Seeds: PNGs.
# The readers' libraries (libpng, ISA-L, zlib, libwebp, stb_image) are built from their Debian
# sources with the same instrumentation (build_libs below), so coverage counts inside them.
#   rle:    the RLE8/RLE4 expander (IsRleBitmap, ReadRleHeader, ExpandRleBitmap). Seeds: RLE
#           bitmaps, the bmpsuite's among them.
#   webp:   libwebp as gramconv reads WebP (DecodePicture: a still picture fed in pieces, an
#           animation's first frame composited). Seeds: lossless, lossy, alpha, animated.
#   engine: scaling (both sinks), colour mapping, dithering and packing on small pictures
#           made from the input's bytes (layout in engine_fuzz.cpp); no decoder.
#   fit:    the whole fit (decode, scale, dither) as gramconv runs it; slow, by hand only.
#   exif:   the EXIF orientation reader (ExifOrientation) on any bytes, and on the bytes as a
#           TIFF structure in a JPEG, a PNG and a WebP, which must agree. Seeds: JPEG, PNG,
#           WebP and bare TIFF in both byte orders (tests/fuzz/seeds/exif).
#
# Lower limits than gramconv's, so an input costs microseconds to milliseconds: the reader
# targets' sinks refuse pictures over 2^15 pixels (kFuzzMaxPixels), and their readers'
# malloc/realloc fail above 256 KiB (kFuzzMaxAllocation; capped_alloc.h, forced into their
# sources here, so stb_image refuses a big header as out of memory before it decodes up to
# 100 million zero pixels; the webp target passes over files whose canvas is larger, as
# libwebp makes an animation's canvas whole itself); the engine's pictures have at most 2^16
# pixels; inputs are at most max_len bytes. The 100-million-pixel refusal itself runs on
# every header as ever.
# Not fuzzed, as ASan and UBSan cannot build them: the MinGW build's own paths (gramconv.exe's
# Windows-only code: its console, file names and drop handling, and the Windows Imaging
# Component decoders it loads at run time). Its scaling sink, scaling_sink_inline.cpp, is
# fuzzed natively in the engine target; its stb_image is the one the stb target fuzzes.
#
#   tests/fuzz/run_fuzz.sh [--target T] [--out DIR] [--seconds N | --runs N] [--seed N]
#                          [--workers N] [--corpus DIR] [--edges]
#   defaults: import, build/fuzz, 60 s, a new seed each run (the tests fix one, so a finding
#   in a test run can be replayed with the same seed), one process, a fresh corpus (gone
#   at exit). --workers N fuzzes in N processes sharing one corpus (libFuzzer's -fork);
#   --corpus keeps new inputs in DIR for the next run. Every run's figures are appended to
#   DIR_OUT/runs.log. --edges (one process) also counts the edges reached at the end in each
#   part of the program: ours, stb_image, libpng, ISA-L, zlib, libwebp (--runs 0 replays the
#   seeds and the kept corpus only: how far they reach). A finding's input is in DIR_OUT/findings/; replay it with
#   DIR_OUT/TARGET_fuzz FILE (UBSAN_OPTIONS as exported below), and keep it as a seed in
#   tests/fuzz/seeds/TARGET/. Forked runs count libFuzzer's cov differently (higher) than
#   single ones: compare like with like.
#
# Adding a target NAME takes: tests/fuzz/NAME_fuzz.cpp (LLVMFuzzerTestOneInput; check the
# contract with fuzz_contract.h), a case below in define_target (its sources, libraries,
# seed globs from the pool, dictionaries from tests/fuzz/dict, max_len), and NAME:SECONDS in
# the foreach of tests/fuzz/CMakeLists.txt. Seeds beyond the pool go in tests/fuzz/seeds/NAME/
# (seeds the pool lacks can also be made in magick_seeds); the webp case shows the shape.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=60
runs=
seed=0
target=import
workers=1
keep=
edges=
usage="usage: $0 [--target import|stb|png|rle|engine|exif|fit] [--out DIR] [--seconds N | --runs N]"
usage+=" [--seed N] [--workers N] [--corpus DIR] [--edges]"
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --target) target=$2; shift 2 ;;
    --workers) workers=$2; shift 2 ;;
    --corpus) keep=$2; shift 2 ;;
    --edges) edges=1; shift ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "run_fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi

# The codecs and the bitmap layout, which the import and the engine run through.
codecs=(
  src/convert/gram_codec.cpp src/convert/gram_codec_simd.cpp src/convert/gram_codec_sse2.cpp
  src/convert/gram_codec_avx2.cpp src/convert/bitmap_layout.cpp
)
# The import, with the POSIX face of the Windows calls.
product=(
  src/convert/import_bitmap.cpp src/convert/export_gram.cpp src/convert/bitmap_check.cpp
  "${codecs[@]}" src/common/show_message.cpp src/host/module_state.cpp src/platform/platform_posix.cpp
  src/platform/message_box_handler.cpp
)
# The readers (stb_image inside picture_decode.cpp), instrumented, as they are where hostile
# bytes are read; so are the libraries behind them (build_libs).
readers=(tools/fit/picture_decode.cpp tools/fit/bmp_rle.cpp tools/fit/format_hint.cpp
  tools/fit/png_decode.cpp
  tools/fit/inflate_isal.cpp tools/fit/webp_decode.cpp tests/fuzz/fuzz_contract.cpp)
engine=(tools/fit/canvas_scaler.cpp tools/fit/colour_map.cpp tools/fit/colour_quads.cpp
  tools/fit/colour_search.cpp tools/fit/blue_noise_mask.cpp tools/fit/picture_fit.cpp
  tools/fit/scaling_sink_threads.cpp "${codecs[@]}")
# The working picture, its framing and tone, which the whole fit runs through.
framing=(tools/fit/exif_orientation.cpp tools/fit/fit_look.cpp tools/fit/fit_frame.cpp
  tools/fit/fit_tone.cpp)
# In this order: libpng's inflate calls go to inflate_isal.cpp (an object, so first), ISA-L's
# to its own archive; zlib is there for the rest of libpng's needs.
png_libs=("$out/lib/png.a" "$out/lib/webp.a" "$out/lib/isal.a" "$out/lib/z.a" -lpthread -lm)

# define_target NAME: sets what a target is built from and fuzzed over.
#   sources  instrumented sources beside tests/fuzz/NAME_fuzz.cpp
#   libs     linked after them
#   globs    seed files taken from the pool (fit_seeds' and ImageMagick's pictures)
#   dicts    tests/fuzz/dict/*.dict files joined into its dictionary
#   options  libFuzzer options (max_len, timeout, memory)
define_target() {
  libs=()
  globs=()
  dicts=()
  case $1 in
    stb)
      sources=("${readers[@]}"); libs=("${png_libs[@]}")
      globs=('*.png' '*.jpg' '*.gif' '*.bmp' '*.tga' '*.ppm' '*.pgm' '*.psd')
      dicts=(png jpeg gif bmp rle tga pnm psd)
      options=(-max_len=16384 -timeout=20 -rss_limit_mb=1024) ;;
    png)
      sources=("${readers[@]}"); libs=("${png_libs[@]}")
      globs=('*.png'); dicts=(png)
      options=(-max_len=8192 -timeout=20 -rss_limit_mb=1024) ;;
    rle)
      sources=("${readers[@]}"); libs=("${png_libs[@]}")
      globs=('*rle*.bmp'); dicts=(bmp rle)
      options=(-max_len=10000 -timeout=20 -rss_limit_mb=1024) ;;
    webp)
      sources=("${readers[@]}"); libs=("${png_libs[@]}")
      globs=('*.webp'); dicts=(webp)
      options=(-max_len=16384 -timeout=20 -rss_limit_mb=1024) ;;
    engine)
      sources=("${readers[@]}" "${engine[@]}"); libs=("${png_libs[@]}")
      globs=('engine-*.bin')
      options=(-max_len=4102 -timeout=20 -rss_limit_mb=1024) ;;
    exif)
      sources=(tools/fit/exif_orientation.cpp tests/fuzz/fuzz_contract.cpp); dicts=(exif)
      options=(-max_len=4096 -timeout=20 -rss_limit_mb=1024) ;;
    fit)
      sources=("${readers[@]}" "${engine[@]}" "${framing[@]}"); libs=("${png_libs[@]}")
      globs=('*.png' '*.jpg' '*.gif' '*.bmp' '*.tga' '*.ppm' '*.pgm' '*.psd')
      dicts=(png jpeg gif bmp rle tga pnm psd)
      options=(-max_len=8192 -timeout=60 -rss_limit_mb=2560) ;;
    *) echo "run_fuzz.sh: unknown target $1" >&2; exit 2 ;;
  esac
}

flags=(-std=c++17 -O1 -g -Wall -Wextra -I"$root/src" -fno-sanitize-recover=all)
instrument=(-fsanitize=fuzzer-no-link,address,undefined)
# The libraries' headers are those of the sources built here (build_libs), not the system's.
fit_flags=(-I"$root/tools/fit" -I"$out/lib/include" -isystem "$out/lib/include/stb" -DFIT_LIBPNG=1
  -DFIT_LIBWEBP=1)

# The libraries the readers call, built from Debian's sources at the pinned versions
# (scripts/fetch_sources.sh) with the readers' instrumentation, so libFuzzer sees inside them:
#   png.a   libpng as Debian configures it (its Intel filter code is off there too)
#   isal.a  ISA-L's portable C paths (its base aliases): the assembly gramconv runs cannot be
#           instrumented, so its inflate is fuzzed in the C that the assembly mirrors
#   z.a     zlib without its inflate, so every inflate call goes to inflate_isal.cpp
#   webp.a  libwebp's decoder and demuxer, SSE2 and SSE4.1 code chosen at run time as Debian's
# stb_image.h comes from libstb's source too: the same file as the installed one, but libFuzzer
# leaves functions under /usr/include out of its coverage listing (--edges).
# Built once per output folder (under the build lock), again when a pin or these flags change.
lib_cflags=(-O1 -g -w -fno-sanitize-recover=all "${instrument[@]}")
lib_jobs=$(nproc 2>/dev/null || echo 2)

# lib_archive NAME FLAGS... -- SOURCES...: compiles the sources (on every core) into
# $out/lib/NAME.a.
lib_archive() {
  local name=$1 cflags=() src objs=() pids=() pid
  shift
  while [ "$1" != -- ]; do cflags+=("$1"); shift; done
  shift
  rm -rf "$out/lib/$name.obj"
  mkdir -p "$out/lib/$name.obj"
  for src in "$@"; do
    local object=$out/lib/$name.obj/$(echo "${src#"$upstream"/}" | tr / _).o
    local extra=()
    case $src in *_sse41.c) extra=(-msse4.1) ;; esac  # as libwebp's build gives them
    clang "${lib_cflags[@]}" "${cflags[@]}" "${extra[@]}" -c "$src" -o "$object" &
    pids+=($!)
    objs+=("$object")
    while [ "$(jobs -rp | wc -l)" -ge "$lib_jobs" ]; do wait -n || true; done
  done
  for pid in "${pids[@]}"; do wait "$pid" || { echo "run_fuzz.sh: $name failed" >&2; exit 1; }; done
  rm -f "$out/lib/$name.a.new"
  ar rcs "$out/lib/$name.a.new" "${objs[@]}"
  mv "$out/lib/$name.a.new" "$out/lib/$name.a"
}

# build_libs: the four archives and their headers in $out/lib/include, when missing or stale.
build_libs() {
  local packages=(libpng1.6 zlib libisal libwebp libstb) stamp want p
  "$root/scripts/fetch_sources.sh" "${packages[@]}"
  upstream=$(dirname "$("$root/scripts/fetch_sources.sh" --dir zlib)")
  want="${lib_cflags[*]}"
  for p in "${packages[@]}"; do want+=" $p=$(cat "$upstream/$p/.vantrel-version")"; done
  stamp=$out/lib/stamp
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && return 0
  echo "run_fuzz.sh: building the readers' libraries from their sources into $out/lib"
  rm -rf "$out/lib" "$out/obj"  # our objects were compiled against the old headers
  mkdir -p "$out/lib/include/isa-l" "$out/lib/include/webp" "$out/lib/include/stb" "$out/obj"
  cp "$upstream/libstb/stb_image.h" "$out/lib/include/stb/"
  local png=$upstream/libpng1.6 z=$upstream/zlib isal=$upstream/libisal webp=$upstream/libwebp
  cp "$png/png.h" "$png/pngconf.h" "$out/lib/include/"
  cp "$png/scripts/pnglibconf.h.prebuilt" "$out/lib/include/pnglibconf.h"
  cp "$z/zlib.h" "$z/zconf.h" "$out/lib/include/"
  cp "$isal"/include/*.h "$out/lib/include/isa-l/"
  cp "$webp"/src/webp/*.h "$out/lib/include/webp/"
  lib_archive png -I"$out/lib/include" -- "$png"/png{,error,get,mem,pread,read,rio,rtran,rutil}.c \
    "$png"/png{set,trans,wio,write,wtran,wutil}.c
  lib_archive z -- "$z"/{adler32,compress,crc32,deflate,trees,zutil}.c
  lib_archive isal -I"$isal/include" -I"$isal/igzip" -- "$isal"/igzip/{igzip,hufftables_c}.c \
    "$isal"/igzip/{igzip_base,igzip_icf_base,adler32_base,flatten_ll,encode_df,igzip_icf_body}.c \
    "$isal"/igzip/{huff_codes,igzip_inflate,igzip_base_aliases,proc_heap_base}.c \
    "$isal"/crc/{crc_base,crc64_base,crc_base_aliases}.c
  # The decoder's part of each folder, as its Makefile.am lists it (x86's SIMD files only).
  local dsp utils
  dsp=$(sed -nE 's/^(COMMON_SOURCES|libwebpdspdecode_sse(2|41)_la_SOURCES) \+= (.*\.c)$/\3/p' \
    "$webp/src/dsp/Makefile.am")
  utils=$(sed -nE 's/^COMMON_SOURCES \+= (.*\.c)$/\1/p' "$webp/src/utils/Makefile.am")
  lib_archive webp -I"$webp" -DWEBP_USE_THREAD -- "$webp"/src/dec/*.c \
    "$webp"/src/demux/{anim_decode,demux}.c $(printf "$webp/src/dsp/%s " $dsp) \
    $(printf "$webp/src/utils/%s " $utils)
  echo "$want" >"$stamp"
}

# compile SRC: its object under $out/obj (rebuilt when stale), named in $obj.
compile() {
  local src=$1 extra=()
  obj=$out/obj/$(basename "${src%.cpp}").o
  case $src in
    tools/fit/*)
      # The readers' allocations capped (capped_alloc.h); the engine's left as they are.
      case $src in
        tools/fit/picture_decode.cpp | tools/fit/bmp_rle.cpp | tools/fit/png_decode.cpp)
          extra=(-include "$root/tests/fuzz/capped_alloc.h") ;;
      esac
      # stb_image copies zero bytes to a null buffer for a PNG whose first IDAT chunk is empty:
      # harmless, but UBSan's nonnull check stops on it. Its PSD matte removal casts
      # out-of-range floats to bytes; made to saturate, as gramconv's CMake does.
      # Its JPEG bit reader's shifts of zero bytes past a scan's end are passed over by
      # ubsan.supp, which needs them recoverable (halt_on_error stops on every other).
      [ "$src" = tools/fit/picture_decode.cpp ] &&
        extra+=(-fno-sanitize=nonnull-attribute,float-cast-overflow -fno-strict-float-cast-overflow
          -fsanitize-recover=shift-exponent)
      ;;
  esac
  # The engine's loops over whole canvases: tracing their comparisons (which guide the
  # mutations of header bytes, not of pixels) took most of each run.
  case $src in
    tools/fit/canvas_scaler.cpp | tools/fit/colour_*.cpp | tools/fit/picture_fit.cpp | \
      tools/fit/scaling_sink_*.cpp | tests/fuzz/engine_fuzz.cpp)
      extra+=(-fno-sanitize-coverage=trace-cmp) ;;
  esac
  if [ ! -f "$obj" ] || [ -n "$(find "$root/$src" "$root/src" "$root/tools/fit" \
    "$root/tests/fuzz" -name '*.h' -newer "$obj" -print -quit)" ] || [ "$root/$src" -nt "$obj" ] ||
    [ "$0" -nt "$obj" ]; then  # (this script holds the flags)
    "$cxx" "${flags[@]}" "${fit_flags[@]}" "${instrument[@]}" "${extra[@]}" -c "$root/$src" -o "$obj.new"
    mv "$obj.new" "$obj"
  fi
}

build_import() {
  local objs=() src
  for src in "${product[@]}" tests/fuzz/import_fuzz.cpp tests/fuzz/make_seeds.cpp; do
    compile "$src"
    objs+=("$obj")
  done
  # The texts are compiled by g++ because only it converts the UTF-8 source to code page 932.
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

build_target() {
  local objs=() src
  for src in "${sources[@]}" "tests/fuzz/${target}_fuzz.cpp"; do
    compile "$src"
    objs+=("$obj")
  done
  if [ "$target" = engine ]; then
    # The sink of builds without threads, under its own name beside the threaded one.
    "$cxx" "${flags[@]}" "${fit_flags[@]}" "${instrument[@]}" -fno-sanitize-coverage=trace-cmp \
      -DNewScalingSink=NewInlineScalingSink \
      -c "$root/tools/fit/scaling_sink_inline.cpp" -o "$out/obj/scaling_sink_inline.o"
    objs+=("$out/obj/scaling_sink_inline.o")
  fi
  "$cxx" -fsanitize=fuzzer,address,undefined "${objs[@]}" "${libs[@]}" -o "$out/${target}_fuzz.new"
  mv "$out/${target}_fuzz.new" "$out/${target}_fuzz"
}

# Pictures of the kinds stb_image_write cannot make, written by ImageMagick when present.
magick_seeds() {
  local convert=/usr/bin/convert dir=$1
  local src=$dir/16x8-3.png alpha=$dir/16x8-4.png
  [ -x "$convert" ] || convert=$(command -v convert || true)
  if [ -z "$convert" ]; then
    echo "run_fuzz.sh: ImageMagick not found; no GIF, PSD, palette PNG or palette BMP seeds"
    return
  fi
  "$convert" "$src" "GIF:$dir/m.gif"
  "$convert" "$alpha" "GIF:$dir/m-alpha.gif"
  "$convert" "$src" "PSD:$dir/m.psd"
  "$convert" "$src" -type Palette "BMP3:$dir/m8.bmp"
  "$convert" "$src" -colors 8 "BMP3:$dir/m4.bmp"
  "$convert" "$src" -type Palette -compress RLE "BMP3:$dir/m-rle8.bmp"
  "$convert" "$src" -colorspace Gray "PGM:$dir/m.pgm"
  "$convert" "$src" -depth 16 "PNG48:$dir/m16.png"
  "$convert" "$alpha" -depth 16 "PNG64:$dir/m16-alpha.png"
  "$convert" "$src" "PNG8:$dir/m-palette.png"
  "$convert" "$alpha" "PNG8:$dir/m-palette-alpha.png"
  "$convert" "$src" -interlace PNG "PNG24:$dir/m-adam7.png"
  "$convert" "$alpha" -colorspace Gray "PNG:$dir/m-grey-alpha.png"
  "$convert" "$src" -colorspace Gray -depth 1 "PNG:$dir/m-grey1.png"
  "$convert" "$src" -transparent black "PNG24:$dir/m-trns.png"
  "$convert" "$src" -interlace line "JPEG:$dir/m-progressive.jpg"
  "$convert" "$src" -sampling-factor 2x2 "JPEG:$dir/m-420.jpg"
  "$convert" "$src" -colorspace Gray "JPEG:$dir/m-grey.jpg"
  "$convert" "$src" -define webp:lossless=true "WEBP:$dir/m-lossless.webp"
  "$convert" "$src" -quality 60 "WEBP:$dir/m-lossy.webp"
  "$convert" "$alpha" -quality 60 "WEBP:$dir/m-alpha.webp"
  "$convert" "$alpha" -define webp:lossless=true "WEBP:$dir/m-alpha-lossless.webp"
  "$convert" -delay 10 "$src" "$dir/7x5-4.png" -loop 0 "WEBP:$dir/m-animated.webp"
}

# The seed pool: fit_seeds' pictures and ImageMagick's, remade when fit_seeds changes.
seed_pool() {
  local pool=$out/seedpool
  if [ ! -x "$out/fit_seeds" ] || [ "$root/tests/fuzz/fit_seeds.cpp" -nt "$out/fit_seeds" ] ||
    [ "$0" -nt "$pool" ]; then
    "$cxx" -std=c++17 -O1 -Wall -Wextra -isystem /usr/include/stb \
      "$root/tests/fuzz/fit_seeds.cpp" -o "$out/fit_seeds.new"
    mv "$out/fit_seeds.new" "$out/fit_seeds"
    rm -rf "$pool.new"
    mkdir "$pool.new"
    "$out/fit_seeds" "$pool.new"
    magick_seeds "$pool.new"
    rm -rf "$pool"
    mv "$pool.new" "$pool"
  fi
}

# The bmpsuite folder, beside the checkout or beside the folder holding it (worktrees).
suite=
for d in "$root/../shared/bmpsuite" "$root/../../shared/bmpsuite"; do
  if [ -d "$d" ]; then suite=$(cd "$d" && pwd); break; fi
done

# Reports the run's figures from libFuzzer's log (the last status line and the final
# statistics) and appends them to runs.log.
report() {
  local log=$1 status_line execs rate cov ft corp used
  used=$(grep -oE '^INFO: Seed: [0-9]+' "$log" | head -n 1 | awk '{print $3}')
  status_line=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  # One process: its final statistics. Forked: the parent's last status line counts every
  # job's executions (each job's own statistics count only its part).
  if [ "$workers" -gt 1 ]; then
    execs=$(echo "$status_line" | grep -oE '^#[0-9]+' | tr -d '#' || true)
  else
    execs=$(grep -oE '^stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' | tail -n 1)
  fi
  execs=${execs:-0}
  cov=$(echo "$status_line" | grep -oE 'cov: [0-9]+' | awk '{print $2}')
  ft=$(echo "$status_line" | grep -oE 'ft: [0-9]+' | awk '{print $2}')
  corp=$(echo "$status_line" | grep -oE 'corp: [0-9]+' | awk '{print $2}')
  local elapsed=$((SECONDS - started))
  [ "$elapsed" -gt 0 ] || elapsed=1
  rate=$((execs / elapsed))
  echo "run_fuzz.sh: $target: $execs executions in $elapsed s ($rate exec/s over $workers" \
    "process(es)), cov: ${cov:-?} ft: ${ft:-?} corpus: ${corp:-?}"
  local parts=
  [ -z "$edges" ] || parts=$(edge_parts "$log")
  [ -z "$parts" ] || echo "run_fuzz.sh: $target: edges reached: $parts"
  printf '%s target=%s seed=%s workers=%s execs=%s seconds=%s exec/s=%s cov=%s ft=%s%s\n' \
    "$(date -u +%FT%TZ)" "$target" "${used:-$seed}" "$workers" "$execs" "$elapsed" "$rate" "${cov:-?}" \
    "${ft:-?}" "${parts:+ edges: $parts}" >>"$out/runs.log"
}

# edge_parts LOG: the edges libFuzzer's -print_coverage reports reached, summed by the part
# of the program holding each function (by its source's path).
edge_parts() {
  awk '/^COVERED_FUNC: / {
      split($5, e, "/"); file = $NF
      part = "other"
      if (file ~ /\/(src|tools\/fit|tests\/fuzz)\//) part = "ours"
      if (file ~ /stb_image\.h/) part = "stb_image"
      if (file ~ /\/libpng1\.6\//) part = "libpng"
      if (file ~ /\/libisal\//) part = "ISA-L"
      if (file ~ /\/zlib\//) part = "zlib"
      if (file ~ /\/libwebp\//) part = "libwebp"
      sum[part] += e[1]
    }
    END {
      n = split("ours stb_image libpng ISA-L zlib libwebp other", order, " ")
      for (i = 1; i <= n; ++i) printf "%s%s %d", (i > 1 ? ", " : ""), order[i], sum[order[i]]
    }' "$1"
}

# fuzz PROGRAM LIBFUZZER_ARGS...: runs one fuzzer and exits with the verdict.
fuzz() {
  local program=$1 status=0 limit
  shift
  if [ -n "$runs" ]; then limit=(-runs="$runs"); else limit=(-max_total_time="$seconds"); fi
  # Forked, the run goes on past a finding (each is kept) and fails at its end.
  [ "$workers" -gt 1 ] &&
    limit+=(-fork="$workers" -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
  [ -z "$edges" ] || limit+=(-print_coverage=1)
  local given=0 arg
  for arg in "$@"; do
    [ -d "$arg" ] && given=$((given + $(find "$arg" -type f | wc -l)))
  done
  started=$SECONDS
  touch "$work/started"
  (cd "$work" && "$out/$program" -seed="$seed" "${limit[@]}" -print_final_stats=1 \
    -artifact_prefix="$out/findings/$target-" "$@") 2>"$work/log" || status=$?
  report "$work/log"
  # Every seed and corpus file is run before the timed fuzzing starts (libFuzzer's INITED);
  # a run that did not get that far has not replayed them (one process; forked runs differ).
  local read
  read=$(grep -oE '^INFO: seed corpus: files: [0-9]+' "$work/log" | awk '{print $5}' || true)
  if [ "$workers" -eq 1 ] && [ $status -eq 0 ]; then
    if [ "${read:-0}" -ne "$given" ] || ! grep -qE '^#[0-9]+[[:space:]]+INITED ' "$work/log"; then
      echo "run_fuzz.sh: ${read:-no} of the $given seed and corpus files replayed" >&2
      status=1
    else
      echo "run_fuzz.sh: all $given seed and corpus files replayed first"
    fi
  fi
  local found
  found=$(find "$out/findings" -name "$target-*" -newer "$work/started" | wc -l)
  [ "$found" -eq 0 ] || { [ $status -ne 0 ] || status=1; echo "run_fuzz.sh: $found finding(s)" >&2; }
  if [ $status -ne 0 ]; then
    tail -n 60 "$work/log" >&2
    echo "run_fuzz.sh: FINDING (exit $status); inputs kept in $out/findings/" >&2
    exit 1
  fi
  echo "run_fuzz.sh: no finding"
  exit 0
}

# new_corpus SEEDER...: a fresh folder in $work (gone at exit), seeds in $work/seeds and room
# for new inputs in $work/new (or the kept corpus).
new_corpus() {
  work=$(mktemp -d "$out/$target.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/seeds" "$work/new"
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    corpus=$(cd "$keep" && pwd)
  else
    corpus=$work/new
  fi
}

mkdir -p "$out/obj" "$out/findings"
cd "$root"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/tests/fuzz/ubsan.supp"
# One build at a time: the tests run targets side by side over the same objects.
exec 9>"$out/build.lock"
flock 9
if [ "$target" = import ]; then
  if [ ! -x "$out/import_fuzz" ] || [ ! -x "$out/make_seeds" ] ||
    [ -n "$(find src tests/fuzz -newer "$out/import_fuzz" -print -quit)" ]; then
    echo "run_fuzz.sh: building the import fuzzer with $cxx into $out"
    build_import
  fi
  flock -u 9
  new_corpus
  "$out/make_seeds" "$work/seeds"
  corpora=("$corpus" "$work/seeds")
  for d in g q b; do
    [ -n "$suite" ] && corpora+=("$suite/$d")
  done
  [ -n "$suite" ] || echo "run_fuzz.sh: bmpsuite not found; seeding with exported files only"
  # The header's fields as the import reads them, and BMP's in general.
  cat tests/fuzz/dict/bmp.dict tests/fuzz/dict/import.dict >"$work/dict"
  echo "run_fuzz.sh: fuzzing the import"
  fuzz import_fuzz -max_len=66000 -timeout=30 -dict="$work/dict" "${corpora[@]}"
fi

define_target "$target"
build_libs
if [ ! -x "$out/${target}_fuzz" ] ||
  [ -n "$(find src tools/fit tests/fuzz "$out/lib" -newer "$out/${target}_fuzz" -print -quit)" ]; then
  echo "run_fuzz.sh: building the $target fuzzer with $cxx into $out"
  build_target
fi
seed_pool
new_corpus
for g in "${globs[@]}"; do
  find "$out/seedpool" -maxdepth 1 -name "$g" -exec cp {} "$work/seeds/" \;
  if [ -n "$suite" ] && [ "$target" != engine ]; then
    find "$suite" -name "$g" -exec cp {} "$work/seeds/" \;
  fi
done
flock -u 9  # the pool is remade under the lock only
# The kept seeds, whole: libFuzzer would cut one longer than max_len before running it.
if [ -d "tests/fuzz/seeds/$target" ]; then
  max_len=$(printf '%s\n' "${options[@]}" | sed -n 's/^-max_len=//p')
  for f in "tests/fuzz/seeds/$target"/*; do
    if [ "$(stat -c %s "$f")" -gt "$max_len" ]; then
      echo "run_fuzz.sh: $f is longer than $target's max_len ($max_len)" >&2
      exit 1
    fi
    cp "$f" "$work/seeds/"
  done
fi
dict=()
if [ ${#dicts[@]} -gt 0 ]; then
  for d in "${dicts[@]}"; do cat "tests/fuzz/dict/$d.dict"; done >"$work/dict"
  dict=(-dict="$work/dict")
fi
echo "run_fuzz.sh: fuzzing $target over $(ls "$work/seeds" | wc -l) seeds"
fuzz "${target}_fuzz" "${options[@]}" "${dict[@]}" "$corpus" "$work/seeds"
