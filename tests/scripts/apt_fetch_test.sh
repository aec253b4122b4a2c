#!/usr/bin/env bash
# Tests of scripts/apt_fetch.sh against a stand-in apt-get on PATH and stand-in apt sources. The
# stand-in's update fails as on a mirror half-way through a sync: the security suite's i386 index has
# the wrong size and the update exits 100. Its install then fails or works as each case says; the
# "whole" install works only when the sources it is given lack that suite and keep the others.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/etc/sources.list.d"
cat >"$tmp/etc/sources.list.d/debian.sources" <<'SRC'
Types: deb
URIs: http://mirror.test/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://mirror.test/debian-security/
Suites: bookworm-security
Components: main
SRC
echo 'deb [arch=amd64] http://mirror.test/debian-security bookworm-security main' \
  >"$tmp/etc/sources.list"

cat >"$tmp/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
parts= list=
for a in "$@"; do
  case "$a" in
    Dir::Etc::SourceParts=*) parts=${a#*=} ;;
    Dir::Etc::SourceList=*) list=${a#*=} ;;
  esac
done
for a in "$@"; do
  case "$a" in
    update)
      [ "$UPDATE" = ok ] && exit 0
      echo "E: Failed to fetch http://mirror.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2
      exit 100 ;;
    install|source)
      [ "$INSTALL" = ok ] && exit 0
      if [ "$INSTALL" = whole ] && [ -n "$parts" ] \
        && ! cat "$parts"/* "$list" | grep -q security \
        && grep -q 'Suites: bookworm bookworm-updates' "$parts/debian.sources"; then
        exit 0
      fi
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100 ;;
  esac
done
exit 2
STUB
chmod +x "$tmp/bin/apt-get"

failed=0
#      update  install  expected exit
while read -r update install want; do
  out=$(PATH="$tmp/bin:$PATH" UPDATE=$update INSTALL=$install MXV_APT_ETC="$tmp/etc" \
    bash "$top/scripts/apt_fetch.sh" wine32:i386 2>&1)
  got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: update=$update install=$install exited $got, expected $want:"
    echo "$out"
    failed=1
  elif [ "$want" != 0 ] && ! grep -q 'could not install: wine32:i386' <<<"$out"; then
    echo "FAIL: update=$update install=$install does not name the package it could not install:"
    echo "$out"
    failed=1
  fi
done <<'CASES'
ok      ok      0
fail    ok      0
fail    whole   0
ok      whole   1
fail    never   1
CASES
[ $failed = 0 ] && echo "apt_fetch: all cases passed"
exit $failed
