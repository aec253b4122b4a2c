#!/usr/bin/env bash
# Fetches Debian packages, as root, for setup.sh and for the guest image's chroot:
#   apt_fetch.sh [--source NAME]... PACKAGE...
# updates the package indexes, installs the packages and, with each --source, unpacks NAME's source
# package into the current folder.
#
# A mirror can be half-way through an update: one of its indexes then has the wrong size and
# `apt-get update` exits 100 although every other index is fine. Such an index is reported and
# skipped, not fatal. Only an install or a source fetch that then fails stops this script, naming what
# it could not get. One such failure is mended on the way: when a suite's index failed for one
# architecture only (the security suite's i386 index, say), apt still picks that suite's newer amd64
# libraries, whose i386 twins it cannot see, and then cannot install wine32. The install is tried once
# more from the sources without the failed suites, which are whole.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

source_pkgs=()
while [ "${1:-}" = --source ]; do
  source_pkgs+=("${2:?--source needs a package name}")
  shift 2
done

say() { echo "apt_fetch: $*" >&2; }
retries=(-o Acquire::Retries=3)

# The folder of the apt sources; the tests of this script name a stand-in.
etc=${MXV_APT_ETC:-/etc/apt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The update. Each failed fetch is kept as a line "URI SUITE" in $work/failed.
: >"$work/failed"
if ! apt-get "${retries[@]}" update -qq 2>"$work/update.err"; then
  cat "$work/update.err" >&2
  grep -o 'Failed to fetch [^ ]*' "$work/update.err" \
    | sed -nE 's#^Failed to fetch (.*)/dists/([^/]+)/.*#\1 \2#p' | sort -u >"$work/failed" || true
  say "some package indexes could not be fetched; going on with the others"
else
  cat "$work/update.err" >&2
fi

# Copies a deb822 sources file without the failed suites: a stanza loses each failed suite of its URI
# and is dropped when none is left.
filter_deb822() {
  awk -v failed="$work/failed" '
    BEGIN { while ((getline line < failed) > 0) { split(line, p, " "); bad[p[1] " " p[2]] = 1 } }
    function flush(   i, s, k, m, kept) {
      if (n == 0) return
      m = split(suites, s, /[[:space:]]+/); kept = ""
      for (k = 1; k <= m; k++) if (s[k] != "" && !((uris " " s[k]) in bad)) kept = kept " " s[k]
      if (kept != "") {
        for (i = 1; i <= n; i++) print (lines[i] ~ /^Suites:/ ? "Suites:" kept : lines[i])
        print ""
      }
      n = 0; uris = ""; suites = ""
    }
    /^[[:space:]]*$/ { flush(); next }
    { lines[++n] = $0 }
    /^URIs:/ { uris = $0; sub(/^URIs:[[:space:]]*/, "", uris); sub(/\/+[[:space:]]*$/, "", uris) }
    /^Suites:/ { suites = $0; sub(/^Suites:/, "", suites) }
    END { flush() }
  ' "$1"
}

# Copies a one-line sources file without the entries of a failed URI and suite.
filter_one_line() {
  awk -v failed="$work/failed" '
    BEGIN { while ((getline line < failed) > 0) { split(line, p, " "); bad[p[1] " " p[2]] = 1 } }
    /^deb(-src)?[[:space:]]/ {
      i = 2
      if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
      uri = $i; sub(/\/+$/, "", uri)
      if ((uri " " $(i + 1)) in bad) next
    }
    { print }
  ' "$1"
}

# Runs apt-get with the sources that are whole: the machine's own ones when no index failed, else
# filtered copies of them.
apt_whole() {
  if [ ! -s "$work/failed" ]; then
    apt-get "${retries[@]}" "$@"
    return
  fi
  local f
  mkdir -p "$work/parts"
  for f in "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] && filter_deb822 "$f" >"$work/parts/$(basename "$f")"
  done
  for f in "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] && filter_one_line "$f" >"$work/parts/$(basename "$f")"
  done
  : >"$work/sources.list"
  [ -f "$etc"/sources.list ] && filter_one_line "$etc"/sources.list >"$work/sources.list"
  apt-get "${retries[@]}" -o Dir::Etc::SourceList="$work/sources.list" \
    -o Dir::Etc::SourceParts="$work/parts" "$@"
}

if [ $# -gt 0 ]; then
  if ! apt-get "${retries[@]}" install -y -qq --no-install-recommends "$@" >"$work/install.log" 2>&1; then
    if [ -s "$work/failed" ]; then
      say "the install failed; trying again without the suites whose indexes failed"
      apt_whole install -y -qq --no-install-recommends "$@" >"$work/install.log" 2>&1 || {
        tail -n 30 "$work/install.log" >&2
        say "could not install: $*"
        exit 1
      }
    else
      tail -n 30 "$work/install.log" >&2
      say "could not install: $*"
      exit 1
    fi
  fi
fi

for source_pkg in "${source_pkgs[@]}"; do
  apt-get "${retries[@]}" source -qq "$source_pkg" >"$work/source.log" 2>&1 \
    || apt_whole source -qq "$source_pkg" >"$work/source.log" 2>&1 || {
    tail -n 30 "$work/source.log" >&2
    say "could not fetch the source package $source_pkg"
    exit 1
  }
done
