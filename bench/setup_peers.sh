#!/usr/bin/env bash
# Installs what bench/fit_quality compares the fit with and the photos it judges on (as root,
# Debian 12), beyond scripts/setup.sh: pngquant, GIMP (large: for the benchmark only, never
# for a test) and python3-skimage, whose data folder holds public-domain and CC0 photos.
# Idempotent.
set -euo pipefail
need_pkgs=(pngquant gimp python3-skimage)
"$(dirname "$0")/../scripts/install_packages.sh" setup_peers "${need_pkgs[@]}"
