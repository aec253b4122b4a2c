#!/usr/bin/env bash
# The main job: sets up the machine, builds MXVLaunch.exe with the stand-in payload, makes a Wine
# prefix that reports Windows XP, runs the launcher in it as a user would, and shows what happened.
#
# Where the kernel runs no 32-bit programs, Wine cannot start the 32-bit launcher. The job then says
# so and runs the 64-bit proof build of the same sources under Wine's 64-bit loader instead, in a
# prefix that reports Windows XP Professional x64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

tree=win32
wine=wine
version=winxp
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "== This machine runs no 32-bit programs, so Wine cannot start the 32-bit launcher;"
  echo "   running the 64-bit proof build of the same sources instead (Windows XP x64)"
  tree=win64proof
  wine=/usr/lib/wine/wine64
  version=winxp64
fi
bash scripts/build.sh "$tree"

exe=$PWD/build/$tree/MXVLaunch/MXVLaunch.exe
template=$PWD/build/$tree/wine/template
prefix=$PWD/build/$tree/wine/demo
report=$PWD/build/$tree/wine/demo-report.txt
if [ "$tree" = win64proof ]; then
  MXV_WINE=$wine MXV_WINE_ARCH=win64 bash tests/e2e/make_wine_prefix.sh "$template"
else
  bash tests/e2e/make_wine_prefix.sh "$template"
fi
rm -rf "$prefix" "$report"
cp -a "$template" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
"$wine" winecfg /v "$version" >/dev/null 2>&1
wineserver -w

echo "== Running MXVLaunch.exe ($tree) under Wine ($version)"
set +e
NQVQLAR_REPORT="Z:$report" "$wine" "$exe"
code=$?
set -e
wineserver -w
echo "exit code: $code"
echo
echo "== What the stand-in utility saw"
cat "$report" 2>/dev/null || echo "(no report: the utility did not run)"
echo
echo "== Last run-log entry (C:\\windows\\Temp\\debug.log)"
tail -n 1 "$prefix/drive_c/windows/temp/debug.log" | tr -d '\r'
echo
user_dir=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
if [ -e "$user_dir/DVT" ]; then
  echo "== The execution directory $user_dir/DVT is still there"
else
  echo "== The execution directory %USERPROFILE%\\DVT is gone"
fi
