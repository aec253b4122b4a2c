#!/usr/bin/env bash
# The main job: sets up the machine, builds MXVLaunch.exe with the stand-in payload, makes a Wine
# prefix that reports Windows XP, runs the launcher in it as a user would, and shows what happened.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32

exe=$PWD/build/win32/MXVLaunch/MXVLaunch.exe
template=$PWD/build/win32/wine/template
prefix=$PWD/build/win32/wine/demo
report=$PWD/build/win32/wine/demo-report.txt
bash tests/e2e/make_wine_prefix.sh "$template"
rm -rf "$prefix" "$report"
cp -a "$template" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all
winecfg /v winxp >/dev/null 2>&1
wineserver -w

echo "== Running MXVLaunch.exe under Wine (Windows XP)"
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
