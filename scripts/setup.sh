#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as root) and prepares
# Wine. Idempotent: when everything is there it only checks, in a few seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

# libwebp-dev: WebP in the native gramconv; webp: its tools, for looking at test files;
# libtiff6:i386: what Wine's imaging component reads TIFF with (the gramconv.exe test).
need_pkgs=(
  cmake ninja-build g++ clang clang-format make pkg-config
  g++-mingw-w64-i686 googletest libbenchmark-dev python3-pefile
  wine wine64 wine32:i386 qemu-user gcc-multilib
  xvfb xauth x11-utils imagemagick fonts-ipafont-gothic fonts-wine locales libstb-dev
  libclang-rt-14-dev
  libcli11-dev libpng-dev libisal-dev zlib1g-dev libwebp-dev webp libtiff6:i386
  dpkg-dev
)

"$here/scripts/install_packages.sh" setup "${need_pkgs[@]}"

# Wine takes a process's ANSI code page from its locale: ja_JP.UTF-8 gives 932 (what the
# tests use by default), en_US.UTF-8 1252 and hi_IN.UTF-8 65001 (the code page tests).
# Without the locale generated, Wine's file names turn into 7-bit garbage.
for loc in ja_JP en_US hi_IN; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
    echo "setup: generating $loc.UTF-8"
    sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" >>/etc/locale.gen
    locale-gen >/dev/null
  fi
done

# libwebp's own sources, built into the Windows programs (Debian has no libwebp for MinGW);
# with the other readers' libraries, built instrumented for the fuzz targets.
"$here/scripts/fetch_sources.sh" libwebp libpng1.6 zlib libisal libstb

# The Wine prefix the tests use (created once, then reused).
"$here/scripts/run32.sh" --setup
