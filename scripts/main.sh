#!/usr/bin/env bash
# Command 1: installs what is missing, builds the plug-in (dist/Vantrel.dll) and the
# command-line converter (dist/gramconv, and dist/gramconv.exe for Windows), packs the
# release ZIP for Windows users (dist/Vantrel-1.00-win32.zip with SHA256SUMS), and shows the
# plug-in working: the host stand-in loads the real 32-bit library on a virtual X server,
# lends it the built-in GRAM test picture, and a helper thread works the real dialog as a
# user would. Bitmaps, PNG previews and a screenshot of each step go to dist/demo/.
#
#   scripts/main.sh                         the demo; exit status 0 when everything went well
#   scripts/main.sh --interactive [GRAM]    the dialog on your own display ($DISPLAY), over
#                                           GRAM from a 48000-byte dump (default: the test
#                                           picture); GRAM is saved to dist/interactive.gram
#
# The build goes to the presets' folders (build/native, build/mingw32); VANTREL_BUILD_DIRS=X
# uses X-native and X-mingw32 instead. The demo shares the Wine prefix of the tests, so run
# it while no 32-bit test runs (VANTREL_WINE_HOME selects another prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

usage() {
  echo "usage: scripts/main.sh [--interactive [GRAM_FILE]]" >&2
  exit 2
}

interactive=false
gram_file=
case "${1:-}" in
  "") ;;
  --interactive)
    interactive=true
    gram_file=${2:-}
    [ $# -le 2 ] || usage ;;
  -h | --help)
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
    exit 0 ;;
  *) usage ;;
esac
if $interactive; then
  [ -n "${DISPLAY:-}" ] || { echo "main.sh: --interactive needs your display; DISPLAY is not set" >&2; exit 2; }
  if [ -n "$gram_file" ]; then
    [ -f "$gram_file" ] && [ "$(stat -c %s "$gram_file")" = 48000 ] ||
      { echo "main.sh: $gram_file is not a 48000-byte GRAM dump" >&2; exit 2; }
    gram_file=$(readlink -f "$gram_file")
  fi
fi

# Windows form of an absolute path: Wine shows the whole file system as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# --- Set-up and build -------------------------------------------------------------------
"$root/scripts/setup.sh"

if [ -n "${VANTREL_BUILD_DIRS:-}" ]; then
  native_dir=$VANTREL_BUILD_DIRS-native
  mingw_dir=$VANTREL_BUILD_DIRS-mingw32
else
  native_dir=build/native
  mingw_dir=build/mingw32
fi
echo "== building dist/Vantrel.dll, the host stand-in, dist/gramconv.exe and dist/gramconv"
cmake --preset mingw32 -B "$mingw_dir" >/dev/null
# gramconv.exe lands in dist/ as it is built.
cmake --build "$mingw_dir" -j2 --target Vantrel vantrel_host gramconv VantrelFit
cmake --preset native -B "$native_dir" >/dev/null
cmake --build "$native_dir" -j2 --target gramconv

dll=$root/$mingw_dir/Vantrel.dll
host=$root/$mingw_dir/tools/host/vantrel_host.exe
mkdir -p dist
# Copied under a temporary name, then renamed: a reader never sees half a file.
cp "$dll" dist/.Vantrel.dll.tmp && mv -f dist/.Vantrel.dll.tmp dist/Vantrel.dll
cp "$native_dir/tools/gramconv/gramconv" dist/.gramconv.tmp && mv -f dist/.gramconv.tmp dist/gramconv
echo "main.sh: built $root/dist/Vantrel.dll, $root/dist/gramconv.exe and $root/dist/gramconv"
echo "== packing the release ZIP"
cmake --build "$mingw_dir" -j2 --target package | grep -E '^CPack: - package|Release:' || true
release=$root/dist/Vantrel-1.00-win32.zip
[ -s "$release" ] || { echo "main.sh: the release ZIP was not made" >&2; exit 1; }

wine_prefix=${VANTREL_WINE_HOME:-$root/build/wine32-home}/prefix
# Waits (a while) until the programs in the Wine prefix have ended and its server is gone,
# so that no Wine window outlives the X server it is shown on.
wait_for_wine() {
  local server
  server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  WINEPREFIX=$wine_prefix timeout 30 "$server" -w 2>/dev/null || true
}

if $interactive; then
  out=$root/dist/interactive.gram
  source_args=()
  [ -n "$gram_file" ] && source_args=(--gram "$(winpath "$gram_file")")
  echo "== the dialog is open on $DISPLAY; close it with 終了 (exit) when you are done"
  status=0
  "$root/scripts/run32.sh" "$host" --parent --dialog "${source_args[@]}" \
    --save "$(winpath "$out")" "$(winpath "$dll")" | tr -d '\r' || status=$?
  wait_for_wine
  if [ $status -ne 0 ]; then
    echo "main.sh: the host stand-in reported a problem (exit status $status)" >&2
    exit 1
  fi
  echo "main.sh: GRAM as the dialog left it: $out"
  echo "  (dist/gramconv export $out picture.bmp turns it into a bitmap)"
  exit 0
fi

# --- The demo ---------------------------------------------------------------------------
demo=$root/dist/demo
rm -rf "$demo"
mkdir -p "$demo"
display=$("$root/scripts/xvfb.sh" start)
shooter_pid=

# The wine desktop window, else the whole screen.
take_shot() {
  local window
  window=$(xwininfo -display "$display" -root -children 2>/dev/null |
    awk '/Wine desktop/ { print $1; exit }')
  import -display "$display" -window "${window:-root}" "$1"
}

# Answers the demo's screenshot requests (NAME.shot -> NAME.png, then NAME.shot-done).
answer_shots() {
  while :; do
    for request in "$demo"/*.shot; do
      [ -e "$request" ] || continue
      name=$(basename "$request" .shot)
      take_shot "$demo/$name.png" 2>>"$demo/.shots.log" || echo "$name" >>"$demo/.shots.failed"
      rm -f "$request"
      : >"$request-done"
    done
    [ -e "$demo/.shots.stop" ] && return 0
    sleep 0.1
  done
}

cleanup() {
  if [ -n "$shooter_pid" ]; then
    : >"$demo/.shots.stop"
    wait "$shooter_pid" 2>/dev/null || true
  fi
  rm -f "$demo/.shots.stop" "$demo/.shots.log" "$demo/.shots.failed" "$demo"/*.shot \
    "$demo"/*.shot-done "$demo/shots.wanted"
  wait_for_wine
  "$root/scripts/xvfb.sh" stop "$display"
}
trap cleanup EXIT

: >"$demo/shots.wanted"
answer_shots &
shooter_pid=$!

run_demo() {
  DISPLAY=$display timeout -k 10 600 "$root/scripts/run32.sh" "$host" --parent \
    --drive "$(winpath "$demo")" --save "$(winpath "$demo/host-saved.gram")" "$(winpath "$dll")" |
    tr -d '\r' | tee "$demo/host.log"
  return "${PIPESTATUS[0]}"
}

echo "== the demo: the host stand-in loads the plug-in on display $display; a helper thread works its dialog"
status=0
run_demo || status=$?
if [ "$status" -ge 124 ]; then
  # A hang or a crash of Wine itself (not a failed check): once more in a fresh process.
  echo "== the host stand-in stopped abnormally (exit status $status); running the demo once more"
  wait_for_wine
  status=0
  run_demo || status=$?
fi

# Vantrel Fit as a user starts it with a picture dropped on its icon: the picture on the
# command line. Pictured once it has had time to fit, then ended (by its process id).
fit_shot=$demo/20-vantrel-fit.png
show_fit() {
  convert -size 640x400 -seed 7 plasma:fractal -blur 0x2 "$demo/picture.png" 2>/dev/null || return 1
  DISPLAY=$display "$root/scripts/run32.sh" "$root/dist/VantrelFit.exe" \
    "$(winpath "$demo/picture.png")" >/dev/null 2>&1 &
  local fit_pid=$!
  sleep 8
  take_shot "$fit_shot" 2>>"$demo/.shots.log"
  local shot=$?
  kill "$fit_pid" 2>/dev/null
  wait "$fit_pid" 2>/dev/null
  return $shot
}
echo "== Vantrel Fit: dist/VantrelFit.exe opens a picture given on its command line"
show_fit || echo "main.sh: the picture of Vantrel Fit was not taken" >&2

# --- Checks of what the demo left, independent of the 32-bit build -----------------------
failures=0
checks=()
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    checks+=("  ok      $what")
  else
    checks+=("  FAILED  $what")
    failures=$((failures + 1))
  fi
}

check "the host stand-in and its helper thread reported no problem" test "$status" -eq 0
scratch=$(mktemp -d)
gramconv=$root/dist/gramconv
check "the 640x200 BMP is byte for byte what gramconv (native build) writes for the picture" \
  bash -c "'$gramconv' export --yes --res 640 '$demo/sample.gram' '$scratch/640.bmp' &&
           cmp '$scratch/640.bmp' '$demo/sample-640x200.bmp'"
check "the 320x200 BMP is byte for byte what gramconv writes for the picture" \
  bash -c "'$gramconv' export --yes --res 320 '$demo/sample.gram' '$scratch/320.bmp' &&
           cmp '$scratch/320.bmp' '$demo/sample-320x200.bmp'"
check "GRAM after importing the 320x200 BMP is what gramconv imports from it" \
  bash -c "'$gramconv' import --yes --res 320 '$demo/sample-320x200.bmp' '$scratch/320.gram' &&
           cmp '$scratch/320.gram' '$demo/after-import-320.gram'"
check "GRAM after importing the 640x200 BMP is the picture again" \
  cmp "$demo/after-import-640.gram" "$demo/sample.gram"
check "GRAM the host holds at the end is the picture" cmp "$demo/host-saved.gram" "$demo/sample.gram"
rm -rf "$scratch"

for size in 640x200:100%x200% 320x200:200%x200%; do
  name=sample-${size%%:*}
  [ -f "$demo/$name.bmp" ] && convert "$demo/$name.bmp" -scale "${size#*:}" "$demo/$name.png" 2>/dev/null || true
done
check "PNG previews of both bitmaps" test -s "$demo/sample-640x200.png" -a -s "$demo/sample-320x200.png"
shots=$(find "$demo" -maxdepth 1 -name '[0-9][0-9]-*.png' | wc -l)
check "a screenshot of each step ($shots taken)" test "$shots" -ge 14 -a ! -e "$demo/.shots.failed"
check "a screenshot of Vantrel Fit with a picture in it (20-vantrel-fit.png)" test -s "$fit_shot"

# --- Report -----------------------------------------------------------------------------
echo
if [ $failures -eq 0 ]; then echo "== Vantrel demo: all went well"; else echo "== Vantrel demo: FAILED"; fi
cat <<EOF
What was done:
  dist/Vantrel.dll (32-bit) was loaded by the host stand-in under Wine on a virtual X
  server, and was lent GRAM holding the built-in test picture. A helper thread typed each
  path into the dialog, chose direction and resolution, pressed 実行 and answered every
  message box: it exported the picture as a 640x200 and a 320x200 BMP, imported the
  320x200 one (GRAM took its coarser picture) and the 640x200 one (GRAM was the picture
  again), and closed the dialog. Then dist/VantrelFit.exe was started with picture.png on
  its command line (as when a picture is dropped on its icon) and pictured with the picture
  in it: 20-vantrel-fit.png.
Checks:
EOF
printf '%s\n' "${checks[@]}"
echo "Files in $demo:"
for f in sample-640x200.bmp sample-320x200.bmp sample-640x200.png sample-320x200.png \
  picture.png 20-vantrel-fit.png sample.gram after-import-320.gram after-import-640.gram host-saved.gram host.log; do
  if [ -e "$demo/$f" ]; then printf '  %-24s %6s bytes\n' "$f" "$(stat -c %s "$demo/$f")"; fi
done
echo "  screenshots: $(cd "$demo" && ls [0-9][0-9]-*.png 2>/dev/null | tr '\n' ' ')"
echo "  (the PNG previews are scaled to 640x400, the shape the machine shows them in)"
echo "Also built: $root/dist/gramconv, e.g. dist/gramconv export dist/demo/sample.gram picture.bmp,"
echo "  or dist/gramconv fit drawing.png picture.bmp; and $root/dist/gramconv.exe for Windows"
echo "  and $root/dist/VantrelFit.exe, the window that turns pictures into BMPs for GRAM"
echo "Release for Windows users: $release ($(stat -c %s "$release") bytes; SHA256SUMS beside it):"
/usr/bin/python3 -c 'import sys, zipfile
for m in zipfile.ZipFile(sys.argv[1]).infolist(): print("  %-16s %8d bytes" % (m.filename, m.file_size))' "$release"
[ $failures -eq 0 ]
