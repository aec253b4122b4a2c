#!/usr/bin/env bash
# Runs in the emulated guest: every Wine test of the win32 tree, two at a time, where Wine must run
# (a test that would skip for want of it fails instead); then the typical run once more with the
# guest's clock past 2038, where a 32-bit count of seconds would no longer give the right date.
set -uo pipefail
export MXV_WINE_REQUIRED=1
status=0
# The signed package's Wine test takes the package that the machine outside built: the guest has no
# compilers, so the setup that builds it is left out here.
ctest --preset win32 -L wine -FS signed_package -j2 || status=1
date -s "2039-06-01 12:00:00" >/dev/null
echo "== The clock is now $(date); the typical run again"
ctest --preset win32 -R '^e2e\.Launch\.test_typical_run$' || status=1
exit $status
