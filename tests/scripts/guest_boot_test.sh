#!/usr/bin/env bash
# Tests of the run folder and the exit code of scripts/guest.sh's boot, with stand-ins on PATH for
# mktemp and QEMU, and of its check of the host's tools, with stand-ins for dpkg-query and apt-get. boot is called as the image build calls it, from an "||" list, where set -e is off.
# A folder that mktemp does not make, or makes wrong, must stop boot before it writes anything or
# starts QEMU; the stand-in QEMU hands back the exit code that the case gives, as a guest would.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
cat >"$tmp/bin/mktemp" <<'STUB'
#!/usr/bin/env bash
case "$MKTEMP" in
  fails) exit 1 ;;
  open) mkdir -m 755 "$WORK/open" && echo "$WORK/open" ;;
  link) mkdir -m 700 "$WORK/open" && ln -s "$WORK/open" "$WORK/link" && echo "$WORK/link" ;;
  *) /usr/bin/mktemp -d "$WORK/run.XXXXXX" ;;
esac
STUB
cat >"$tmp/bin/qemu-system-x86_64" <<'STUB'
#!/usr/bin/env bash
out=$(printf '%s\n' "$@" | sed -n 's/^local,path=\(.*\),mount_tag=mxvout,.*/\1/p')
cp "$out/command" "$WORK/ran"
case "$RC" in
  link) echo 0 >"$WORK/zero" && ln -s "$WORK/zero" "$out/rc" ;;
  *) echo "$RC" >"$out/rc" ;;
esac
STUB
chmod +x "$tmp/bin/"*

failed=0
declare -A before=()
for path in /command /tree /init.sh /stdout /stderr; do
  [ ! -e "$path" ] || before[$path]=1
done
#      mktemp  guest rc  boot's status
while read -r mktemp rc want; do
  work=$tmp/$mktemp-$rc
  mkdir "$work"
  got=0
  (
    export PATH="$tmp/bin:$PATH" MKTEMP=$mktemp RC=$rc WORK=$work
    . "$top/scripts/guest.sh"
    boot write 60 true || exit $?
  ) 2>"$work/stderr" || got=$?
  problems=()
  [ "$got" = "$want" ] || problems+=("boot returned $got, not $want")
  if [ "$rc" = - ]; then
    [ ! -e "$work/ran" ] || problems+=("QEMU was started")
    [ -z "$(ls -A "$work/open" 2>/dev/null)" ] || problems+=("files written in the folder")
    for path in /command /tree /init.sh /stdout /stderr; do
      [ ! -e "$path" ] || [ -n "${before[$path]:-}" ] || problems+=("$path written")
    done
  elif [ "$(cat "$work/ran" 2>/dev/null)" != "true " ]; then
    problems+=("the guest did not get the command")
  fi
  if [ ${#problems[@]} -gt 0 ]; then
    printf 'FAIL: mktemp %s, guest rc %s: %s\n' "$mktemp" "$rc" "$(IFS=';' && echo "${problems[*]}")"
    cat "$work/stderr"
    failed=1
  fi
done <<'CASES'
fails   -     1
open    -     1
link    -     1
private 3     3
private link  1
private 1234  1
CASES
# The host's tools are only checked, never installed: one that is missing stops the script, named.
mkdir "$tmp/tools"
printf '#!/bin/sh\n[ "$3" = e2fsprogs ] || echo "install ok installed"\n' >"$tmp/tools/dpkg-query"
printf '#!/bin/sh\ntouch "%s/installed"\n' "$tmp" >"$tmp/tools/apt-get"
chmod +x "$tmp/tools/"*
out=$(PATH="$tmp/tools:$PATH" && . "$top/scripts/guest.sh" && host_tools 2>&1)
got=$?
if [ "$got" = 0 ] || [ -e "$tmp/installed" ] \
  || ! grep -q 'missing on this machine: e2fsprogs; run scripts/setup.sh first' <<<"$out"; then
  echo "FAIL: with e2fsprogs missing, the check exited $got and said: $out"
  failed=1
fi
[ $failed = 0 ] && echo "guest boot: all cases passed"
exit $failed
