#!/usr/bin/env bash
# Installs what bench/fit_quality compares the fit with and the photos it judges on (as root,
# Debian 12), beyond scripts/setup.sh: pngquant, GIMP (large: for the benchmark only, never
# for a test) and python3-skimage, whose data folder holds public-domain and CC0 photos.
# Idempotent.
set -euo pipefail
need_pkgs=(pngquant gimp python3-skimage)
missing=()
for p in "${need_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup_peers: missing packages (${missing[*]}) and not root: run as root" >&2
    exit 1
  fi
  echo "setup_peers: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
fi
