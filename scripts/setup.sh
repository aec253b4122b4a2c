#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine, as root, and fetches the Debian
# sources that the Windows build compiles from: libbzip2 (bzip2), the launcher's unwinder and C++
# exception support (gcc-12-source) and its start-up code (mingw-w64). Safe to run again: each step
# checks first.
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
  gcc-12-source
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

# Packages and source packages are fetched only when something is missing; apt_fetch.sh updates the
# indexes first, goes on past an index that a mirror in the middle of a sync cannot serve, and stops
# naming what it could not get. A new apt source or architecture alone needs no fetch: the next fetch
# updates the indexes anyway.
source_args=()
[ -f "$top/.deps/bzip2/bzlib.c" ] || source_args+=(--source bzip2)
[ -f "$top/.deps/mingw-w64-crt/crt/crtexe.c" ] || source_args+=(--source mingw-w64)
if [ ${#missing[@]} -gt 0 ] || [ ${#source_args[@]} -gt 0 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && bash "$top/scripts/apt_fetch.sh" "${source_args[@]}" "${missing[@]}")
  mkdir -p "$top/.deps"
  # Moves the folder INNER (. for the whole) of the unpacked source package PATTERN, which must hold
  # FILE, to .deps/NAME (ignored by git).
  take_source() {
    local pattern=$1 inner=$2 file=$3 name=$4 dir
    dir=$(find "$work" -maxdepth 1 -type d -name "$pattern" | head -n 1)
    [ "$inner" = . ] || dir=${dir:+$dir/$inner}
    if [ -z "$dir" ] || [ ! -f "$dir/$file" ]; then
      echo "setup: the $pattern source package did not give $inner/$file" >&2
      exit 1
    fi
    rm -rf "$top/.deps/$name"
    mv "$dir" "$top/.deps/$name"
  }
  if [[ " ${source_args[*]} " == *" bzip2 "* ]]; then
    take_source 'bzip2-*' . bzlib.c bzip2
  fi
  if [[ " ${source_args[*]} " == *" mingw-w64 "* ]]; then
    # Only the C runtime part of the package, which holds the start-up code and its headers.
    take_source 'mingw-w64-*' mingw-w64-crt crt/crtexe.c mingw-w64-crt
  fi
fi
# The GCC sources of the unwinder and the C++ exception support, taken from the tarball that
# gcc-12-source installs (the tarball's other files stay in it).
if [ ! -f "$top/.deps/gcc-12/libgcc/unwind-dw2.c" ]; then
  tarball=$(find /usr/src/gcc-12 -maxdepth 1 -name 'gcc-*.tar.xz' | head -n 1)
  if [ -z "$tarball" ]; then
    echo "setup: gcc-12-source gave no source tarball under /usr/src/gcc-12" >&2
    exit 1
  fi
  gcc_work=$(mktemp -d)
  tar -xJf "$tarball" -C "$gcc_work" --wildcards --no-wildcards-match-slash 'gcc-*/libgcc' \
    'gcc-*/libstdc++-v3/libsupc++' 'gcc-*/include' 'gcc-*/gcc/tsystem.h' 'gcc-*/gcc/coretypes.h'
  mkdir -p "$top/.deps"
  rm -rf "$top/.deps/gcc-12"
  mv "$gcc_work"/gcc-* "$top/.deps/gcc-12"
  rm -rf "$gcc_work"
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
