#!/usr/bin/env bash
# Sets up the machine, checks that the C and C++ sources are formatted, builds the three trees and
# runs every test: the native unit tests under the sanitizers, the Windows build's tests, Wine ones
# included, then a short run of each fuzz target.
#
# Where the kernel runs no 32-bit programs, Wine cannot start the shipped 32-bit launcher here. The
# win32 tree's Wine tests (label "wine") then run in the emulated Debian guest (scripts/guest.sh),
# which is built in the background while the trees build here, and the rest of that tree runs here.
# Whatever ends this script, early failures included, stops that build and everything it started.
#
# One run at a time in a checkout: two would build the same trees and write the same guest build log,
# and one's clean-up could remove the signed package that the other's guest test is using. A run
# holds a lock on the checkout's build folder from start to end; a second run stops at once, saying
# so, with exit code 1.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
exec 9<build
if ! flock -n 9; then
  echo "test: another test run is using build/ in this checkout; run again when it has ended" >&2
  exit 1
fi

# The background build runs in a session of its own, so one signal reaches its whole process group
# (QEMU and the tails included); guest.sh then stops the steps it runs under their own time limits and
# unmounts what it mounted before it exits.
guest_build=
stop_guest_build() {
  if [ -n "$guest_build" ] && kill -0 "$guest_build" 2>/dev/null; then
    echo "test: stopping the guest build" >&2
    kill -TERM -- "-$guest_build" 2>/dev/null || kill -TERM "$guest_build" 2>/dev/null || true
    wait "$guest_build" 2>/dev/null || true
  fi
  guest_build=
}
trap stop_guest_build EXIT
trap 'exit 130' INT TERM

# The run itself. It is called with descriptor 9 closed: the shell then keeps the lock on a copy that
# no program it starts inherits, so that a program that outlives the run (a wineserver, say) cannot
# keep every later run out.
run_all() {
  bash scripts/setup.sh
  guest=0
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    guest=1
    echo "test: this machine runs no 32-bit programs; the win32 Wine tests run in the emulated guest"
    setsid -w bash scripts/guest.sh build >build/guest-build.log 2>&1 &
    guest_build=$!
  fi
  bash scripts/check_format.sh
  bash scripts/build.sh native win32 fuzz
  status=0
  ctest --preset native || status=1
  ctest --preset fuzz || status=1
  if [ $guest = 0 ]; then
    ctest --preset win32 || status=1
    exit $status
  fi
  ctest --preset win32 -LE wine || status=1
  echo "test: waiting for the guest image"
  build_status=0
  wait "$guest_build" || build_status=$?
  # The build is over: its process id may be reused from now on, so it must not be signalled again.
  guest_build=
  if [ $build_status != 0 ]; then
    cat build/guest-build.log
    echo "test: the guest could not be built" >&2
    exit 1
  fi
  cat build/guest-build.log
  bash scripts/guest.sh run -- bash scripts/guest/win32_tests.sh || status=1
  exit $status
}
run_all 9<&-
