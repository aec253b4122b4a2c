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
# Where the kernel runs no 32-bit programs, the win32 tree's Wine tests skip. The same sources are
# then also built 64-bit and their Wine tests run under Wine's 64-bit loader, as a proof of the
# launcher's behaviour; the shipped launcher stays the 32-bit build.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "test: this machine runs no 32-bit programs, so the Wine tests also run in the 64-bit" \
    "proof tree (win64proof)"
  bash scripts/build.sh win64proof
  ctest --preset win64proof || status=1
  # A test that was killed leaves its prefix copy behind; the template stays for the next run.
  rm -rf build/win64proof/wine/e2e
fi
exit $status
