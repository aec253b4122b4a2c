#!/usr/bin/env bash
# Runs the built 32-bit MXVLaunch.exe under Wine as a user would, in a prefix that reports Windows XP,
# and shows what happened: the stand-in utility's report, the run-log entry and that the execution
# directory is gone. It needs a machine that runs 32-bit programs; run.sh starts it there, or in the
# emulated guest.
set -euo pipefail
cd "$(dirname "$0")/.."

exe=$PWD/build/win32/MXVLaunch/MXVLaunch.exe
template=$PWD/build/win32/wine/template
prefix=$PWD/build/win32/wine/demo
report=$PWD/build/win32/wine/demo-report.txt
MXV_WINE_REQUIRED=1 bash tests/e2e/make_wine_prefix.sh "$template"
rm -rf "$prefix" "$report"
cp -a "$template" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
wine winecfg /v winxp >/dev/null 2>&1
wineserver -w

echo "== Running MXVLaunch.exe (32-bit) under Wine (Windows XP)"
set +e
NQVQLAR_REPORT="Z:$report" wine "$exe"
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
