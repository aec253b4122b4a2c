#!/usr/bin/env bash
# Tests of the lock that scripts/test.sh holds on its checkout's build folder, on a copy of the script
# in a stand-in checkout whose setup.sh notes what it sees and fails, so that the run ends there.
# While another process holds the lock, the run must stop at once with a message and start nothing.
# Otherwise it must hold the lock while it runs, without handing it to the programs it starts.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
checkout=$(cd "$tmp" && pwd -P)/checkout
mkdir -p "$checkout/scripts" "$checkout/build"
cp "$top/scripts/test.sh" "$checkout/scripts/test.sh"
cat >"$checkout/scripts/setup.sh" <<'STUB'
#!/usr/bin/env bash
lock=free
flock -n build true || lock=held
inherited=no
for fd in /proc/$$/fd/*; do
  [ "$(readlink "$fd")" != "$(pwd -P)/build" ] || inherited=yes
done
echo "lock $lock, inherited $inherited" >"$MARK"
exit 3
STUB

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# Another run holds the lock.
out=$(MARK=$tmp/busy flock "$checkout/build" bash "$checkout/scripts/test.sh" 2>&1)
got=$?
[ "$got" = 1 ] || fail "with the lock held elsewhere, test.sh exited $got, not 1"
grep -q 'another test run is using build/' <<<"$out" || fail "no message that another run is on: $out"
[ ! -e "$tmp/busy" ] || fail "with the lock held elsewhere, test.sh went on to the setup"

# No other run: setup.sh runs while the lock is held, and gets no descriptor of it.
MARK=$tmp/free bash "$checkout/scripts/test.sh" >/dev/null 2>&1
got=$?
[ "$got" = 3 ] || fail "alone, test.sh exited $got, not with setup.sh's 3"
seen=$(cat "$tmp/free" 2>/dev/null)
[ "$seen" = "lock held, inherited no" ] || fail "setup.sh saw '$seen', not 'lock held, inherited no'"
flock -n "$checkout/build" true || fail "the lock is still held after test.sh ended"

[ $failed = 0 ] && echo "test.sh lock: all cases passed"
exit $failed
