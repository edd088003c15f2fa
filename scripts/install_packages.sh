#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet (as root), quietly,
# adding the i386 architecture when a package asks for it. WHO names the caller in messages.
#   scripts/install_packages.sh WHO PACKAGE...
set -euo pipefail
who=$1
shift
missing=()
for p in "$@"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -gt 0 ] || exit 0
if [ "$(id -u)" != 0 ]; then
  echo "$who: missing packages (${missing[*]}) and not root: run as root" >&2
  exit 1
fi
echo "$who: installing ${missing[*]}"
case " ${missing[*]} " in
  *:i386\ *)
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
