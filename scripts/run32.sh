#!/usr/bin/env bash
# Runs a 32-bit Windows program: with plain wine where this machine executes 32-bit code,
# else through ../shared/wine32/run32 (qemu-i386 + wine32). Under ja_JP.UTF-8 (ANSI code
# page 932) unless VANTREL_LANG names another generated locale (en_US.UTF-8: 1252,
# hi_IN.UTF-8: 65001), in the project's own Wine prefix, on a display (a private Xvfb when
# DISPLAY is unset).
#
#   scripts/run32.sh PROGRAM.exe [ARGS...]   exit status is the program's
#   scripts/run32.sh --setup                 only prepare the prefix
#   scripts/run32.sh --which                 say which way programs would run
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
shared_run32=$(readlink -f "$root/../shared/wine32/run32" 2>/dev/null || true)

export LANG=${VANTREL_LANG:-ja_JP.UTF-8} LC_ALL=${VANTREL_LANG:-ja_JP.UTF-8}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINE32_HOME=${VANTREL_WINE_HOME:-$root/build/wine32-home}

native32() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

if native32 && command -v wine >/dev/null; then
  mode=wine
  export WINEPREFIX=$WINE32_HOME/prefix
elif [ -n "$shared_run32" ] && [ -x "$shared_run32" ]; then
  mode=run32
  export WINEPREFIX=$WINE32_HOME/prefix
else
  echo "run32.sh: cannot run 32-bit Windows programs here: this kernel does not execute" >&2
  echo "  32-bit code (or wine32 is missing) and ../shared/wine32/run32 does not exist." >&2
  exit 125
fi

# Prepares the prefix once: Wine itself, a virtual desktop, and Japanese fonts standing in
# for the ones the dialogs name.
prepare() {
  mkdir -p "$WINE32_HOME"
  if [ "$mode" = run32 ]; then
    "$shared_run32" --setup
  else
    (
      flock 9
      if [ ! -f "$WINE32_HOME/.ready" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        wineserver -w || true
        touch "$WINE32_HOME/.ready"
      fi
    ) 9>"$WINE32_HOME/.lock"
  fi
  (
    flock 9
    if [ ! -f "$WINE32_HOME/.fonts-ready-2" ]; then
      "$here/wine_fonts.sh" "$mode" "$shared_run32"
      touch "$WINE32_HOME/.fonts-ready-2"
    fi
  ) 9>"$WINE32_HOME/.fonts-lock"
}

case "${1:-}" in
  --which) echo "$mode"; exit 0 ;;
  --setup) prepare; exit 0 ;;
  "") echo "usage: run32.sh PROGRAM.exe [ARGS...] | --setup | --which" >&2; exit 2 ;;
esac

prepare
if [ -z "${DISPLAY:-}" ]; then
  DISPLAY=$("$here/xvfb.sh" ensure)
  export DISPLAY
fi
if [ "$mode" = run32 ]; then
  cmd=("$shared_run32")
else
  cmd=(wine)
fi
if [ -t 1 ]; then
  exec "${cmd[@]}" "$@"
fi
# Not on a terminal (a test runner's pipe): the output goes through files. The first
# windowed program starts Wine's desktop process, which inherits its output and lives on
# until the last window of any program is gone; holding the runner's pipe, it would keep
# this run "running" all that time.
log=$(mktemp -d)
replay() {
  cat "$log/out"
  cat "$log/err" >&2
  rm -rf "$log"
}
"${cmd[@]}" "$@" >"$log/out" 2>"$log/err" </dev/null &
child=$!
trap 'kill "$child" 2>/dev/null; replay; exit 143' TERM INT
status=0
wait "$child" || status=$?
replay
exit "$status"
