#!/usr/bin/env bash
# Fetches Debian source packages at pinned versions and unpacks them (Debian's patches
# applied) into build/sources/PACKAGE, for what is built here from a library's own sources:
# libwebp's decoder inside the Windows programs, and the fuzz builds of the picture readers.
# The version is part of the pin and each .dsc's checksums are checked by dpkg-source against
# a signed archive, so the same commit builds the same library. Idempotent: an unpacked
# package at its pinned version is left as it is.
#
#   scripts/fetch_sources.sh PACKAGE...      prints nothing on success
#   scripts/fetch_sources.sh --dir PACKAGE   prints the unpacked folder (fetching it first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sources=${VANTREL_SOURCES:-$root/build/sources}

# The pins: Debian 12's versions.
declare -A pinned=(
  [libwebp]=1.2.4-0.2+deb12u1
  [libpng1.6]=1.6.39-2+deb12u5
  [zlib]=1:1.2.13.dfsg-1
  [libisal]=2.30.0-5
  [libstb]=0.0~git20220908.8b5f1f3+ds-1
)

print_dir=
if [ "${1:-}" = --dir ]; then
  print_dir=1
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--dir] PACKAGE... (one of: ${!pinned[*]})" >&2
  exit 2
fi

# deb-src lines for the archive the machine installs from (Debian 12 ships none).
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/vantrel-src.sources
  if [ ! -f "$list" ]; then
    if [ "$(id -u)" != 0 ]; then
      echo "fetch_sources.sh: no deb-src entry and not root: run scripts/setup.sh as root" >&2
      exit 1
    fi
    cat >"$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get update -qq
  fi
  command -v dpkg-source >/dev/null || apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
}

fetch() {
  local package=$1 version=${pinned[$1]:-}
  if [ -z "$version" ]; then
    echo "fetch_sources.sh: no pinned version for $package" >&2
    exit 2
  fi
  local dir=$sources/$package
  if [ -f "$dir/.vantrel-version" ] && [ "$(cat "$dir/.vantrel-version")" = "$version" ]; then
    return 0
  fi
  ensure_deb_src
  mkdir -p "$sources"
  local work
  work=$(mktemp -d "$sources/.fetch.XXXXXX")
  (
    cd "$work"
    # Unsandboxed as root: _apt cannot write into a build folder, which is harmless here.
    apt-get source -qq --download-only "$package=$version" >/dev/null 2>&1 ||
      apt-get source -q --download-only "$package=$version"
    # The .dsc came through the archive's signed index; dpkg-source checks the tarballs
    # against its checksums (the uploader's own signature needs a keyring we do not install).
    dpkg-source -q -x ./*.dsc unpacked >/dev/null 2>dpkg-source.log || {
      cat dpkg-source.log >&2
      exit 1
    }
  )
  rm -rf "$dir"
  mv "$work/unpacked" "$dir"
  echo "$version" >"$dir/.vantrel-version"
  rm -rf "$work"
}

for package in "$@"; do fetch "$package"; done
if [ -n "$print_dir" ]; then
  [ $# -eq 1 ] || { echo "fetch_sources.sh: --dir takes one package" >&2; exit 2; }
  echo "$sources/$1"
fi
