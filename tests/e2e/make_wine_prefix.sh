#!/usr/bin/env bash
# Makes a template Wine prefix that the Wine tests copy, once per build tree. A prefix that is
# already complete is kept.
#   make_wine_prefix.sh DIR [win32|win64]
#
# Wine runs 32-bit Windows programs through its 32-bit Linux loader, so a kernel that does not run
# 32-bit programs (Linux 6.7 and later can turn that off with ia32_emulation) cannot run the
# launcher at all. This script then writes the reason to DIR.unavailable and exits with 77, and
# every Wine test skips with that reason instead of failing.
set -euo pipefail
dir=$1
arch=${2:-win32}
rm -f "$dir.unavailable"
mkdir -p "$(dirname "$dir")"
# Both prefix kinds need the 32-bit loader: a 64-bit prefix runs the launcher through it too.
if ! probe=$(/usr/lib/wine/wine --version 2>&1); then
  reason="this machine cannot run Wine's 32-bit loader (/usr/lib/wine/wine: ${probe##*: }); the"
  reason+=" kernel runs no 32-bit programs, as with ia32_emulation=off, so the 32-bit launcher"
  reason+=" cannot be run under Wine here"
  echo "$reason" >"$dir.unavailable"
  echo "SKIP: $reason"
  exit 77
fi
if [ -f "$dir/.complete" ]; then
  exit 0
fi
rm -rf "$dir"
# Headless: with no X server a message box returns at once, so no test waits on one.
WINEARCH=$arch WINEPREFIX="$dir" WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1
WINEPREFIX="$dir" WINEDEBUG=-all wineserver -w
touch "$dir/.complete"
