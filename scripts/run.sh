#!/usr/bin/env bash
# The main job: sets up the machine, builds MXVLaunch.exe with the stand-in payload, and runs it under
# Wine set to Windows XP as a user would (scripts/show_run.sh), showing what happened.
#
# Where the kernel runs no 32-bit programs, Wine cannot start the 32-bit launcher here; the run then
# happens in the emulated Debian guest (scripts/guest.sh), which is built on the first run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh win32
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exec bash scripts/show_run.sh
fi
echo "== This machine runs no 32-bit programs, so the 32-bit launcher runs under Wine in an emulated"
if bash scripts/guest.sh ready; then
  echo "   Debian guest, which is already built; booting it and the run take about 2 minutes."
else
  echo "   Debian guest. This first run on this machine builds the guest from Debian's packages, which"
  echo "   takes about 15 minutes; later runs reuse it and take about 2 minutes."
fi
exec bash scripts/guest.sh run -- bash scripts/show_run.sh
