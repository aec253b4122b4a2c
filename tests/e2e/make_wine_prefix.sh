#!/usr/bin/env bash
# Makes a template Wine prefix that the Wine tests copy, once per build tree. A prefix that is
# already complete is kept.
#   make_wine_prefix.sh DIR [win32|win64]
set -euo pipefail
dir=$1
arch=${2:-win32}
if [ -f "$dir/.complete" ]; then
  exit 0
fi
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
# Headless: with no X server a message box returns at once, so no test waits on one.
WINEARCH=$arch WINEPREFIX="$dir" WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1
WINEPREFIX="$dir" WINEDEBUG=-all wineserver -w
touch "$dir/.complete"
