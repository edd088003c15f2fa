#!/usr/bin/env bash
# Command 1: installs what is missing, builds the plug-in (dist/Vantrel.dll) and shows it
# working.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/setup.sh"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 --target Vantrel
echo "main.sh: built $root/dist/Vantrel.dll"
