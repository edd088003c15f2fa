#!/usr/bin/env bash
# Maps the Japanese Windows fonts the dialogs and message boxes name to the IPA Gothic
# fonts, so Japanese text renders in the test prefix, also under the other code pages the
# tests use (there captions are drawn in bold Tahoma, which is linked to IPA P Gothic for the
# characters it lacks). Called once by run32.sh.
#   wine_fonts.sh MODE SHARED_RUN32   (MODE: wine or run32)
set -euo pipefail
mode=$1 shared_run32=${2:-}
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
{
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for name in "ＭＳ Ｐゴシック" "MS PGothic" "ＭＳ ゴシック" "MS Gothic" "MS UI Gothic" "Meiryo UI" "メイリオ"; do
    case "$name" in *P*|*Ｐ*|*UI*|*メイリオ*) face="IPAPGothic" ;; *) face="IPAGothic" ;; esac
    printf '"%s"="%s"\r\n' "$name" "$face"
  done
  printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
  printf '"Tahoma Bold"=hex(7):%s\r\n' "$(printf 'ipagp.ttf,IPAPGothic\0\0' | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')"
} | iconv -f UTF-8 -t CP932 >"$reg"
# The Japanese fonts themselves: Wine finds them through fontconfig, nothing to copy.
# Wine's own fonts (Marlett draws the caption buttons, Tahoma the English texts) are not
# picked up from Debian's fonts-wine folder by this Wine: put them in the prefix.
fonts_dir=${WINEPREFIX:?}/drive_c/windows/Fonts
if [ -d /usr/share/wine/fonts ]; then
  mkdir -p "$fonts_dir"
  cp -n /usr/share/wine/fonts/*.ttf "$fonts_dir/" 2>/dev/null || true
fi
if [ "$mode" = run32 ]; then
  "$shared_run32" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || true
else
  wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || true
fi
