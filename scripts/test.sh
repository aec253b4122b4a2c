#!/usr/bin/env bash
# Sets up the machine, checks that the C and C++ sources are formatted, builds both trees and runs
# every test: the native unit tests under the sanitizers, then the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check_format.sh
bash scripts/build.sh native win32
status=0
ctest --preset native || status=1
ctest --preset win32 || status=1
exit $status
