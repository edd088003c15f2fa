#!/usr/bin/env bash
# Set-up of Vantrel Fit's live tests: their program gets a Wine desktop of its own, large
# enough for the preview at twice its size when maximised (the prefix's default desktop is
# 1024x768), and the work folder a WebP picture beside the PNG it was made from (losslessly).
#   fit_window_setup.sh RUN32 WORK_DIR
set -euo pipefail
run32=$1 work=$2
mkdir -p "$work"
"$run32" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v VantrelFitTests /d 1920x1200 /f \
  >/dev/null 2>&1
"$run32" reg add 'HKCU\Software\Wine\AppDefaults\fit_window_live_tests.exe\Explorer' \
  /v Desktop /d VantrelFitTests /f >/dev/null 2>&1
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
"$convert" -size 160x100 gradient:'#ff8000-#0040c0' -rotate 90 -resize 160x100! \
  PNG24:"$work/browser.png"
cwebp -quiet -lossless -exact "$work/browser.png" -o "$work/browser.webp"
