#!/bin/sh
# Run once in a new guest, on its writable image: makes the win32 and the 64-bit Wine prefix that the
# Wine tests copy, in /var/lib/mxv-wine, so that no boot has to make them again.
set -eu
for kind in win32 win64; do
  start=$(date +%s)
  dir=/var/lib/mxv-wine/$kind
  rm -rf "$dir"
  mkdir -p /var/lib/mxv-wine
  # Headless: with no X server a message box returns at once.
  WINEARCH=$kind WINEPREFIX=$dir WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1
  WINEPREFIX=$dir WINEDEBUG=-all wineserver -w
  touch "$dir/.complete"
  echo "guest: $kind prefix made in $(($(date +%s) - start)) s" >&2
done
/usr/lib/wine/wine --version
