#!/usr/bin/env bash
# Makes a template Wine prefix that the Wine tests copy, once per build tree. A prefix that is
# already complete is kept.
#   make_wine_prefix.sh DIR [win32|win64]
#
# The Wine loader comes from MXV_WINE and the prefix kind, when no argument names it, from
# MXV_WINE_ARCH; CTest sets both in the 64-bit proof tree (/usr/lib/wine/wine64, win64). Without
# them the loader is `wine` and the prefix a win32 one, as the 32-bit launcher needs.
#
# Wine runs 32-bit Windows programs through its 32-bit Linux loader, so a kernel that does not run
# 32-bit programs (Linux 6.7 and later can turn that off with ia32_emulation) cannot run the
# launcher at all. This script then writes the reason to DIR.unavailable and exits with 77, and
# every Wine test skips with that reason instead of failing; with MXV_WINE_REQUIRED set (as in the
# emulated guest) it fails instead. The proof tree's 64-bit programs need only the 64-bit loader,
# which is the one probed there.
set -euo pipefail
dir=$1
arch=${2:-${MXV_WINE_ARCH:-win32}}
rm -f "$dir.unavailable"
mkdir -p "$(dirname "$dir")"
if [ -n "${MXV_WINE:-}" ]; then
  loader=$MXV_WINE
  boot=("$loader" wineboot -i)
else
  # Both prefix kinds need the 32-bit loader: a 64-bit prefix runs the launcher through it too.
  loader=/usr/lib/wine/wine
  boot=(wineboot -i)
fi
if ! probe=$("$loader" --version 2>&1); then
  if [ -n "${MXV_WINE:-}" ]; then
    reason="this machine cannot run Wine's loader ($loader: ${probe##*: }), so the programs of"
    reason+=" this tree cannot be run under Wine here"
  else
    reason="this machine cannot run Wine's 32-bit loader (/usr/lib/wine/wine: ${probe##*: }); the"
    reason+=" kernel runs no 32-bit programs, as with ia32_emulation=off, so the 32-bit launcher"
    reason+=" cannot be run under Wine here"
  fi
  # Where Wine must run (in the emulated guest), a loader that cannot start is a failure.
  if [ -n "${MXV_WINE_REQUIRED:-}" ]; then
    echo "FAIL: $reason"
    exit 1
  fi
  echo "$reason" >"$dir.unavailable"
  echo "SKIP: $reason"
  exit 77
fi
if [ -f "$dir/.complete" ]; then
  exit 0
fi
rm -rf "$dir"
# Headless: with no X server a message box returns at once, so no test waits on one.
WINEARCH=$arch WINEPREFIX="$dir" WINEDEBUG=-all DISPLAY= "${boot[@]}" >/dev/null 2>&1
WINEPREFIX="$dir" WINEDEBUG=-all wineserver -w
touch "$dir/.complete"
