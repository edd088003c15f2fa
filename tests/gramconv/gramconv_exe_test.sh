#!/usr/bin/env bash
# gramconv.exe as Windows users meet it, through the runner: fit, import and export on real
# files named in Japanese and outside code page 932, a picture dropped on the program, its
# questions and refusals, and its messages in UTF-8 when redirected.
#   gramconv_exe_test.sh RUN32 GRAMCONV_EXE WORKDIR
set -u
run32=$1 exe=$2 work=$3
session=$(dirname "$(readlink -f "$0")")/console_session.py
status=0
fail() { echo "FAIL: $*"; status=1; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# gc ARGS...: runs gramconv.exe without a console; $rc is its exit status, $out and $err
# what it wrote (line ends as Unix ones).
gc() {
  rc=0
  "$run32" "$exe" "$@" >.out 2>.err </dev/null || rc=$?
  out=$(tr -d '\r' <.out)
  err=$(tr -d '\r' <.err | grep -v 'Read access denied for device')
  rm -f .out .err
}
expect_rc() { [ "$rc" -eq "$1" ] || fail "$2: exit status $rc, expected $1 (stderr: $err)"; }
expect_in() {  # expect_in TEXT NEEDLE WHAT
  grep -qF -- "$2" <<<"$1" || fail "$3: no '$2' in: $1"
}
# Windows form of an absolute path: Wine shows the whole file system as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# expect_preview PNG BMP WHAT: PNG is what the screen shows of the 640x200 BMP: 640x400, each
# line twice (ImageMagick reads the BMP's palette and doubles its lines on its own; the
# palette's near-full values are 1% from the screen's, any other colour far more).
expect_preview() {
  [ "$(/usr/bin/identify -format '%wx%h %m' "$1" 2>&1)" = "640x400 PNG" ] ||
    fail "$3: $1 is not a 640x400 PNG"
  local differ
  /usr/bin/convert "$2" -scale '100%x200%' PNG24:.screen.png
  differ=$(/usr/bin/compare -metric AE -fuzz 3% .screen.png "$1" null: 2>&1)
  rm -f .screen.png
  [ "$differ" = 0 ] || fail "$3: $1 differs from the screen of $2 in $differ pixels"
}

# Eight vertical stripes of the GRAM colours 0..7 as a 640x200 picture (GRAM itself, taken
# pixel for pixel) and as a 320x200 one, and the GRAM dump they are (each stripe 80 GRAM
# bits, 10 bytes of every plane line).
/usr/bin/python3 - <<'PY' || exit 1
rgb = [((c >> 1) & 1, (c >> 2) & 1, c & 1) for c in range(8)]
for width, name in ((640, "stripes.ppm"), (320, "stripes320.ppm")):
    pixels = bytearray()
    for y in range(200):
        for x in range(width):
            pixels += bytes(255 * v for v in rgb[x * 8 // width])
    open(name, "wb").write(b"P6\n%d 200\n255\n" % width + pixels)
gram = bytearray()
for plane in range(3):
    for i in range(16000):
        gram.append(0xFF if ((i % 80) // 10) >> plane & 1 else 0)
open("stripes.gram", "wb").write(gram)
open("junk.png", "wb").write(b"not a picture at all")
PY
mkdir folder.bmp

echo "== a TIFF read by the Windows Imaging Component, one cut short"
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
"$convert" stripes.ppm -compress lzw TIFF:stripes.tiff || fail "ImageMagick wrote no TIFF"
head -c "$(($(stat -c %s stripes.tiff) / 2))" stripes.tiff >cut.tiff
gc fit stripes.tiff stripes-tiff.bmp
expect_rc 0 "fit stripes.tiff"
expect_in "$out" "wrote stripes-tiff.bmp: stripes.tiff fitted to 640x200" "fit stripes.tiff"
gc import --yes stripes-tiff.bmp stripes-tiff.gram
expect_rc 0 "import stripes-tiff.bmp"
cmp -s stripes-tiff.gram stripes.gram || fail "stripes-tiff.gram is not the stripes"
gc fit cut.tiff cut.bmp
expect_rc 1 "fit cut.tiff"
expect_in "$err" "cut.tiff: " "fit cut.tiff"
[ ! -e cut.bmp ] || fail "a TIFF cut short left cut.bmp"
# Stored turned a quarter anticlockwise with orientation 6 (row 0 on the right): the imaging
# component's metadata turns it back, and --orient ignore keeps it as stored.
"$convert" stripes.ppm -rotate -90 -orient RightTop TIFF:turned.tiff || fail "no turned TIFF"
gc fit turned.tiff turned.bmp
expect_rc 0 "fit turned.tiff"
expect_in "$out" "turned upright by EXIF orientation 6" "fit turned.tiff"
gc import --yes turned.bmp turned.gram
cmp -s turned.gram stripes.gram || fail "turned.tiff was not fitted upright"
gc fit --yes --orient ignore turned.tiff turned.bmp
gc import --yes turned.bmp turned.gram
cmp -s turned.gram stripes.gram && fail "--orient ignore turned turned.tiff upright"
rm -f turned.tiff turned.bmp turned.gram

echo "== WebP by the program's own libwebp (Wine has no WebP codec); HEIF refused with advice"
"$convert" stripes.ppm -define webp:lossless=true WEBP:stripes.webp || fail "no WebP written"
gc fit stripes.webp stripes-webp.bmp
expect_rc 0 "fit stripes.webp"
gc import --yes stripes-webp.bmp stripes-webp.gram
cmp -s stripes-webp.gram stripes.gram || fail "stripes-webp.gram is not the stripes"
printf '\0\0\0\030ftypheic\0\0\0\0mif1heic' >photo.heic
gc fit photo.heic photo.bmp
expect_rc 1 "fit photo.heic"
expect_in "$err" "photo.heic: a HEIF picture gramconv cannot read (on Windows 10 or 11, Microsoft's HEIF Image Extensions read it" "fit photo.heic"

for name in "絵・テスト" "한글é"; do
  echo "== $name: fit, import, export"
  cp stripes.ppm "$name.ppm"
  gc fit "$name.ppm" "$name.bmp"
  expect_rc 0 "fit $name"
  [ "$(stat -c %s "$name.bmp" 2>/dev/null)" = 64118 ] || fail "$name.bmp is not a 640x200 BMP"
  expect_in "$out" "wrote $name.bmp: $name.ppm fitted to 640x200, error diffusion" "fit $name"

  gc import --yes "$name.bmp" "$name.gram"
  expect_rc 0 "import $name"
  expect_in "$out" "GRAMへの書き込み完了" "import $name"
  expect_in "$err" "$name.bmp の内容をGRAMへ展開します。" "import $name"
  cmp -s "$name.gram" stripes.gram || fail "$name.gram is not the stripes"

  gc export --yes "$name.gram" "$name-export.bmp"
  expect_rc 0 "export $name"
  expect_in "$err" "GRAMの内容を $name-export.bmp へ展開します。" "export $name"
  expect_in "$out" "BMPファイルへの書き込み完了" "export $name"
  cmp -s "$name-export.bmp" "$name.bmp" || fail "export of $name.gram differs from the fitted file"

  echo "== $name: the overwrite question"
  gc fit "$name.ppm" "$name.bmp"
  expect_rc 1 "fit over $name.bmp without an answer"
  expect_in "$err" "$name.bmp は既に存在します。
上書きしますか？
-> Cancel" "fit over $name.bmp"
  cmp -s "$name-export.bmp" "$name.bmp" || fail "$name.bmp changed after Cancel"
  gc fit --yes --res 320 --dither diffusion "$name.ppm" "$name.bmp"
  expect_rc 0 "fit --yes over $name.bmp"
  [ "$(stat -c %s "$name.bmp" 2>/dev/null)" = 32118 ] || fail "$name.bmp was not replaced"

  echo "== $name: the screen preview"
  gc fit --yes --gamma srgb --dither ordered --preview "$name-preview.png" "$name.ppm" "$name.bmp"
  expect_rc 0 "fit --preview $name"
  expect_in "$out" "wrote $name-preview.png" "fit --preview $name"
  expect_preview "$name-preview.png" "$name.bmp" "fit --preview $name"
  rm -f "$name-preview.png"

  echo "== $name: dropped on the program"
  gc "$(winpath "$work/$name.ppm")"
  expect_rc 0 "drop $name.ppm"
  cmp -s "$name-640x200.bmp" "$name-export.bmp" || fail "$name-640x200.bmp is not the 640x200 fit"
  expect_in "$out" "$name-640x200.bmp" "drop $name.ppm"
  expect_in "$out" "$name-640x200-preview.png" "drop $name.ppm"
  expect_preview "$name-640x200-preview.png" "$name-640x200.bmp" "drop $name.ppm"
  gc "$(winpath "$work/$name.ppm")"
  expect_rc 1 "second drop of $name.ppm"
  expect_in "$err" "$name-640x200.bmp already exists" "second drop"
  cmp -s "$name-640x200.bmp" "$name-export.bmp" || fail "$name-640x200.bmp was replaced"
  # The preview left alone is not replaced either, and then no BMP file is written.
  mv "$name-640x200.bmp" "$name-kept.bmp"
  cp "$name-640x200-preview.png" "$name-kept.png"
  gc "$(winpath "$work/$name.ppm")"
  expect_rc 1 "drop of $name.ppm over its preview"
  expect_in "$err" "$name-640x200-preview.png already exists" "drop over the preview"
  [ ! -e "$name-640x200.bmp" ] || fail "a refused drop wrote $name-640x200.bmp"
  cmp -s "$name-640x200-preview.png" "$name-kept.png" || fail "$name-640x200-preview.png was replaced"
  mv "$name-kept.bmp" "$name-640x200.bmp"
  rm -f "$name-kept.png"
done

echo "== a 320x200 picture dropped: fitted at 320, named so"
gc export --yes --res 320 stripes.gram stripes320-export.bmp
gc "$(winpath "$work/stripes320.ppm")"
expect_rc 0 "drop stripes320.ppm"
cmp -s stripes320-320x200.bmp stripes320-export.bmp || fail "stripes320-320x200.bmp is not the 320x200 fit"
expect_in "$out" "stripes320-320x200-preview.png" "drop stripes320.ppm"

echo "== targets that are not regular files, bad pictures"
for target in NUL nul.bmp folder.bmp; do
  gc fit --yes stripes.ppm "$target"
  expect_rc 1 "fit into $target"
  expect_in "$err" "$target exists and is not a regular file" "fit into $target"
done
[ -d folder.bmp ] && [ -z "$(ls -A folder.bmp)" ] || fail "folder.bmp changed"
gc import --yes "絵・テスト.bmp" NUL
expect_rc 1 "import into NUL"
gc export --yes stripes.gram NUL
expect_rc 1 "export into NUL"
expect_in "$err" "NUL exists and is not a regular file" "export into NUL"
for picture in junk.png missing.png folder.bmp; do
  gc fit --yes "$picture" out.bmp
  expect_rc 1 "fit $picture"
  expect_in "$err" "$picture" "fit $picture"
done
# An unknown file is told which formats are read: gramconv's own and those of Windows.
gc fit junk.png out.bmp
expect_in "$err" "junk.png: not a picture gramconv can read (unknown format or damaged file; reads PNG, JPEG, GIF, BMP, TGA, PNM, PSD, WebP; through Windows " "fit junk.png"
expect_in "$err" "TIFF" "the formats listed for junk.png"
gc junk.png
expect_rc 1 "drop junk.png"
[ ! -e out.bmp ] && [ ! -e junk-640x200.bmp ] || fail "a bad picture left a file"

echo "== on a console: the question, and a dropped picture's wait for Enter"
# The console wraps long lines: compare without line ends.
console() {  # console [--answer PROMPT=REPLY]... -- ARGS...: $rc, $shown
  rc=0
  /usr/bin/python3 "$session" "$@" >.shown || rc=$?
  shown=$(tr -d '\n' <.shown)
  rm -f .shown
}
console --answer "[y/N]=y" -- "$run32" "$exe" fit stripes.ppm "한글é.bmp"
expect_rc 0 "fit over 한글é.bmp answered on the console"
expect_in "$shown" "한글é.bmp は既に存在します。上書きしますか？" "the question on the console"
cmp -s "한글é.bmp" "한글é-export.bmp" || fail "한글é.bmp was not replaced after OK on the console"
cp stripes.ppm "drop 絵.ppm"
console --timeout 20 -- "$run32" "$exe" "$(winpath "$work/drop 絵.ppm")"
expect_rc 124 "a dropped picture's window, nobody pressing Enter"
expect_in "$shown" "wrote $(winpath "$work/drop 絵-640x200.bmp")" "drop on the console"
expect_in "$shown" "Press Enter to close this window." "drop on the console"
rm -f "drop 絵-640x200.bmp" "drop 絵-640x200-preview.png"
console --answer "Press Enter=" -- "$run32" "$exe" "$(winpath "$work/drop 絵.ppm")"
expect_rc 0 "a dropped picture's window, Enter pressed"
cmp -s "drop 絵-640x200.bmp" "絵・テスト-export.bmp" || fail "drop 絵-640x200.bmp is not the 640x200 fit"
# A double click: no arguments; the usage stays until Enter.
console --answer "Press Enter=" -- "$run32" "$exe"
expect_rc 2 "started without arguments"
expect_in "$shown" "or drop a picture on gramconv.exe" "started without arguments"
expect_in "$shown" "Press Enter to close this window." "started without arguments"

echo "== nothing else left behind"
expected=$(printf '%s\n' folder.bmp junk.png stripes.gram stripes.ppm stripes320.ppm \
  stripes320-export.bmp stripes320-320x200.bmp stripes320-320x200-preview.png \
  stripes.tiff cut.tiff stripes-tiff.bmp stripes-tiff.gram \
  stripes.webp stripes-webp.bmp stripes-webp.gram photo.heic \
  "絵・テスト.ppm" "絵・テスト.bmp" "絵・テスト.gram" "絵・テスト-export.bmp" "絵・テスト-640x200.bmp" \
  "絵・テスト-640x200-preview.png" \
  "한글é.ppm" "한글é.bmp" "한글é.gram" "한글é-export.bmp" "한글é-640x200.bmp" "한글é-640x200-preview.png" \
  "drop 絵.ppm" "drop 絵-640x200.bmp" "drop 絵-640x200-preview.png" | sort)
actual=$(ls -A | sort)
[ "$actual" = "$expected" ] || fail "files left: $(comm -13 <(echo "$expected") <(echo "$actual") | tr '\n' ' ')"

[ $status -eq 0 ] && echo "all checks passed"
exit $status
