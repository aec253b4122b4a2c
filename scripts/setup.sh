#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine, as root, and fetches the bzip2 source
# package that the Windows build compiles libbzip2 from. Safe to run again: each step checks first.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake make g++ gcc pkg-config googletest libgtest-dev libbz2-dev libbenchmark-dev
  clang-format python3 tmux dpkg-dev
  osslsigncode openssl
  clang libclang-rt-14-dev
  gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine32 wine64
)

# wine32 lives in the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

# apt-get source needs deb-src entries. They are derived from the machine's own Debian entries (same
# URIs, suites and components), so no host name is written here.
src_list=/etc/apt/sources.list.d/mxvlaunch-src.sources
src_list_lines=/etc/apt/sources.list.d/mxvlaunch-src.list
if [ ! -s "$src_list" ] && [ ! -s "$src_list_lines" ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  source_stanzas() {
    # Copies each deb822 stanza whose Types holds "deb" and whose Suites name this release, as
    # deb-src.
    awk -v rel="$codename" '
      function flush() {
        if (stanza != "" && isdeb && relok) printf "%s\n", stanza
        stanza = ""; isdeb = 0; relok = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { if ($0 ~ /[[:space:]]deb([[:space:]]|$)/) isdeb = 1; stanza = stanza "Types: deb-src\n"; next }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i ~ ("^" rel "(-|$)")) relok = 1 }
      { stanza = stanza $0 "\n" }
      END { flush() }
    ' "$@"
  }
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && [ "$f" != "$src_list" ] && source_stanzas "$f" >>"$tmp"
  done
  # One-line entries in sources.list become deb-src lines of the same form.
  if [ -f /etc/apt/sources.list ]; then
    grep -E "^deb[[:space:]].*[[:space:]]${codename}([-[:space:]])" /etc/apt/sources.list \
      | sed -E 's/^deb[[:space:]]/deb-src /' >"${tmp}.list" || true
    if [ -s "${tmp}.list" ]; then
      cp "${tmp}.list" "$src_list_lines"
    fi
    rm -f "${tmp}.list"
  fi
  if [ -s "$tmp" ]; then
    cp "$tmp" "$src_list"
  fi
  rm -f "$tmp"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# wine32 is an i386 package; dpkg-query names it with its architecture.
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || missing+=(wine32:i386)

# Packages and the bzip2 source are fetched only when something is missing; apt_fetch.sh updates the
# indexes first, goes on past an index that a mirror in the middle of a sync cannot serve, and stops
# naming what it could not get. A new apt source or architecture alone needs no fetch: the next fetch
# updates the indexes anyway.
need_source=0
[ -f "$top/.deps/bzip2/bzlib.c" ] || need_source=1
if [ ${#missing[@]} -gt 0 ] || [ $need_source = 1 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  source_args=()
  [ $need_source = 0 ] || source_args=(--source bzip2)
  (cd "$work" && bash "$top/scripts/apt_fetch.sh" "${source_args[@]}" "${missing[@]}")
  if [ $need_source = 1 ]; then
    # The bzip2 source package, unpacked under .deps/ (ignored by git).
    dir=$(find "$work" -maxdepth 1 -type d -name 'bzip2-*' | head -n 1)
    if [ -z "$dir" ] || [ ! -f "$dir/bzlib.c" ]; then
      echo "setup: apt-get source bzip2 did not give the library sources" >&2
      exit 1
    fi
    mkdir -p "$top/.deps"
    rm -rf "$top/.deps/bzip2"
    mv "$dir" "$top/.deps/bzip2"
  fi
fi
# Where the kernel runs no 32-bit programs, the Wine tests run in the emulated guest, which needs these
# on the host. They are installed here, never inside the guest build that test.sh may stop at any
# moment, so no install is ever cut off half-way.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  guest_missing=()
  for p in debootstrap qemu-system-x86 e2fsprogs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || guest_missing+=("$p")
  done
  if [ ${#guest_missing[@]} -gt 0 ]; then
    bash "$top/scripts/apt_fetch.sh" "${guest_missing[@]}"
  fi
fi
echo "setup: ready"
