#!/usr/bin/env bash
# Sets up the machine, checks that the C and C++ sources are formatted, builds the three trees and
# runs every test: the native unit tests under the sanitizers, the Windows build's tests under Wine,
# then a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check_format.sh
bash scripts/build.sh native win32 fuzz
status=0
ctest --preset native || status=1
ctest --preset win32 || status=1
ctest --preset fuzz || status=1
exit $status
