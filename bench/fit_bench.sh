#!/usr/bin/env bash
# Fit speed against ImageMagick, as whole processes, in the same run: a photo-like 1920x1080
# PNG (gradients, shapes, noise) fitted to 640x200 in each dither mode with the defaults (the
# whole picture, its shape kept, on black), and ImageMagick doing the same work: turned by its
# orientation, resized keeping its shape (640x400 screen pixels, every second line), laid on
# black at 640x200 and remapped to the 8 colours with Floyd-Steinberg. The runs are
# interleaved (one of each in turn), so a machine busy with other work slows all alike; prints
# the median wall time of N runs of each and how many times faster the fit is.
# The fit runs as `gramconv fit` when a gramconv with that command is found ($GRAMCONV,
# dist/gramconv, or the build's), and always as bench/fit_once (the engine alone).
#
#   bench/fit_bench.sh [--build DIR] [--runs N]     defaults: build/native, 11
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
runs=11
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs N]" >&2; exit 2 ;;
  esac
done

fit_once=$build/bench/fit_once
if [ ! -x "$fit_once" ]; then
  echo "fit_bench.sh: $fit_once is missing; cmake --build --preset native first" >&2
  exit 1
fi
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)
gramconv=
for g in "${GRAMCONV:-}" "$root/dist/gramconv" "$build/tools/gramconv/gramconv"; do
  if [ -n "$g" ] && [ -x "$g" ] && "$g" fit --help >/dev/null 2>&1; then
    gramconv=$g
    break
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$convert" -size 1920x1080 gradient:'#1040a0'-'#f0c080' \
  \( -size 1920x1080 radial-gradient:'#ffffff'-'#202020' \) -compose multiply -composite \
  -fill '#30a040' -draw 'circle 600,700 600,950' -fill '#c02020' -draw 'rectangle 1200,200 1700,600' \
  -fill '#e8e8e8' -draw 'polygon 100,100 500,150 300,500' -seed 7 -attenuate 0.5 +noise Gaussian -depth 8 \
  "$work/photo.png"
"$convert" xc:'#000000' xc:'#0000ff' xc:'#ff0000' xc:'#ff00ff' xc:'#00ff00' xc:'#00ffff' \
  xc:'#ffff00' xc:'#ffffff' +append "$work/palette.png"
echo "picture: 1920x1080 PNG, $(stat -c %s "$work/photo.png") bytes; $runs runs each, median"

# The wall time of the command in microseconds, by bash's own clock (no extra process timed).
time_us() {
  local start end
  start=${EPOCHREALTIME/[.,]/}
  "$@" >/dev/null 2>&1 || { echo "fit_bench.sh: failed: $*" >&2; exit 1; }
  end=${EPOCHREALTIME/[.,]/}
  echo $((10#$end - 10#$start))
}

names=("ImageMagick: orient, resize, extent, remap")
commands=("$convert $work/photo.png -auto-orient -resize 640x400 -scale 100%x50% -background black
  -gravity center -extent 640x200 -dither FloydSteinberg -remap $work/palette.png
  BMP3:$work/magick.bmp")
for mode in none ordered diffusion; do
  names+=("fit_once $mode")
  commands+=("$fit_once $work/photo.png $mode 640 $work/out.raw")
  if [ -n "$gramconv" ]; then
    names+=("gramconv fit --dither $mode")
    commands+=("$gramconv fit --yes --dither $mode $work/photo.png $work/out.bmp")
  fi
done
declare -A times
for ((k = 0; k < ${#commands[@]}; k++)); do time_us ${commands[k]} >/dev/null; done  # warm-up
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#commands[@]}; k++)); do times[$k]+="$(time_us ${commands[k]}) "; done
done
median_ms() {
  printf '%s\n' ${times[$1]} | sort -n | sed -n "$(((runs + 1) / 2))p" |
    awk '{ printf "%.1f", $1 / 1000 }'
}
magick=$(median_ms 0)
printf '%-44s %9s ms\n' "${names[0]}" "$magick"
for ((k = 1; k < ${#commands[@]}; k++)); do
  ms=$(median_ms "$k")
  printf '%-44s %9s ms   %5.1fx faster\n' "${names[k]}" "$ms" \
    "$(awk -v a="$magick" -v b="$ms" 'BEGIN { print a / b }')"
done
[ -n "$gramconv" ] || echo "(no gramconv with the fit command found; the engine alone was timed)"
