#!/usr/bin/env bash
# The emulated Debian guest that runs the 32-bit launcher under Wine on a machine whose kernel runs no
# 32-bit programs.
#   guest.sh build            builds the guest image, or finds it in the cache
#   guest.sh ready            exits with 0 when the image is built and cached, else with 1
#   guest.sh run -- CMD...    boots the guest and runs CMD as root in it, from the root of this tree
#
# The guest is Debian 12 amd64 with i386 added and Wine installed, made with debootstrap from the
# mirror of this machine's own apt sources, put in an ext4 image, and booted by QEMU's software
# emulation (there is no KVM here). The image is built once and cached under MXV_GUEST_CACHE
# (/var/cache/mxvlaunch-guest), keyed by everything that goes into it, so a second run reuses it. It
# also holds a ready win32 and a ready 64-bit Wine prefix in /var/lib/mxv-wine.
#
# In the guest the tree is seen at the same path as here: read-only over 9p, with a writable layer
# on the guest's disk above it, so the build trees' tests can write where they always do. Nothing of
# a run is kept: the image is opened with snapshot=on. The guest has no network. CMD's standard output
# and error come back through a second 9p share as they are written, and its exit code is this
# script's. Every step is bounded in time (MXV_GUEST_TIMEOUT seconds for a run, 3600 by default), and
# no QEMU process outlives the script unless the script is killed outright.
#
# Several copies of this script may run at once, from one checkout or from several. One build runs at a
# time on a machine: the build lock is held while building and only then, and none of the QEMU
# processes gets it. A run holds a shared lock on the image it boots, and a build removes the image of
# another key only when it can take that lock exclusively, so it never removes one in use. Only the
# process that builds touches its build. The folder through which a run talks to its guest is
# private to the user who runs the script.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
cache=${MXV_GUEST_CACHE:-/var/cache/mxvlaunch-guest}
guest_dir=$top/scripts/guest
export DEBIAN_FRONTEND=noninteractive
# shellcheck source=chroot_mounts.sh
. "$top/scripts/chroot_mounts.sh"

say() { echo "guest: $*" >&2; }
die() {
  say "$*"
  exit 1
}
now() { date +%s; }

# The packages of the guest: the kernel, Wine of both kinds, and what the Wine tests and CTest use.
guest_packages=(linux-image-amd64 wine wine32 wine64 python3 cmake tmux procps e2fsprogs kmod
  debian-archive-keyring ca-certificates)

# This machine's apt source files (deb822 and one-line), without the deb-src ones that setup.sh adds.
host_source_files() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
    case "$f" in */mxvlaunch-src.*) continue ;; esac
    [ ! -f "$f" ] || echo "$f"
  done
}

# Their entries, each file's after a line with its name.
host_sources() {
  local f
  for f in $(host_source_files); do
    printf '### %s\n' "$(basename "$f")"
    cat "$f"
  done
}

# The first mirror that serves this release's main suite, read from the apt sources.
host_mirror() {
  local codename=$1
  host_sources | sed -E 's/\[[^]]*\]//' | awk -v rel="$codename" '
    function take() { if (isdeb && suiteok && uri != "") { print uri; done = 1; exit } isdeb = suiteok = 0; uri = "" }
    /^#/ { next }
    /^deb[[:space:]]/ { if ($3 == rel) { print $2; done = 1; exit } next }
    /^[[:space:]]*$/ { take(); next }
    /^Types:/ { isdeb = ($0 ~ /[[:space:]]deb([[:space:]]|$)/) }
    /^URIs:/ { uri = $2 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == rel) suiteok = 1 }
    END { if (!done) take() }'
}

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
# Everything that decides the image's content: the packages, the apt sources they come from, the
# guest's first process, the provisioning script, and the recipe's version (raise it when the recipe
# in build_image changes).
recipe_version=1
key=$( (echo "$recipe_version ${guest_packages[*]} $codename"; host_sources
  cat "$guest_dir/mxv-init" "$guest_dir/provision.sh") | sha256sum | cut -c1-16)
image_dir=$cache/$key
image=$image_dir/root.img
build_dir=$cache/$key.build

# Creates the cache, private to this user when it is new, and names it by its canonical path, which
# the removal of an interrupted build's mounts relies on.
open_cache() {
  [ -d "$cache" ] || (umask 077 && mkdir -p "$cache")
  cache=$(cd "$cache" && pwd -P)
  image_dir=$cache/$key
  image=$image_dir/root.img
  build_dir=$cache/$key.build
}

# The host's tools for the guest. setup.sh installs them; this script only checks, since an install
# here would run inside a build that test.sh may stop at any moment.
host_tools() {
  local missing=() p
  for p in debootstrap qemu-system-x86 e2fsprogs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} = 0 ] || die "missing on this machine: ${missing[*]}; run scripts/setup.sh first"
}

# The long steps of a build, and the wait for the build lock, run in the background while this script
# waits for them, so that a signal reaches it at once and its exit stops them.
#   in_background CMD...       runs CMD and returns its status
#   bounded LIMIT LOG CMD...   runs CMD for at most LIMIT seconds, its output in LOG
step_pid=
in_background() {
  local status=0
  "$@" &
  step_pid=$!
  wait "$step_pid" || status=$?
  step_pid=
  return $status
}
bounded() {
  local limit=$1 log=$2
  shift 2
  in_background timeout -k 20 "$limit" "$@" >"$log" 2>&1
}

# Boots the guest and runs a command in it.
#   boot IMAGE_MODE TIMEOUT CMD...   IMAGE_MODE is "snapshot" (nothing is kept) or "write"
qemu_pid=
out=
# On any exit: stops the build's running step (timeout passes the signal to all it started) and
# QEMU, removes the run's folder, and unmounts what this process mounted in a chroot, which is
# nothing unless it builds.
cleanup() {
  if [ -n "$step_pid" ]; then
    kill "$step_pid" 2>/dev/null || true
    wait "$step_pid" 2>/dev/null || true
  fi
  if [ -n "$qemu_pid" ] && kill -0 "$qemu_pid" 2>/dev/null; then
    kill "$qemu_pid" 2>/dev/null || true
    sleep 1
    kill -9 "$qemu_pid" 2>/dev/null || true
  fi
  [ -z "$out" ] || rm -rf "$out"
  chroot_unmount || say "a mount in the chroot could not be removed"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Makes the folder through which a run talks to its guest and names it in out. It must be private:
# whoever could write in it could replace the guest's boot script or command, or its exit code. So it
# counts only as a directory, not a link, owned by this user and open to no one else; QEMU runs as
# this user and writes in it as that user. Returns 1, having written nothing, when there is none.
make_run_folder() {
  local dir
  dir=$(mktemp -d /tmp/mxv-guest.XXXXXX) || dir=
  if [ -z "$dir" ] || [ -L "$dir" ] || [ ! -d "$dir" ] || [ ! -O "$dir" ] \
    || [ "$(stat -c %a "$dir")" != 700 ]; then
    say "no private folder for the run: mktemp gave '$dir'"
    return 1
  fi
  out=$dir
}

# Every step of boot returns at once when it fails, also where its caller's "||" keeps set -e off.
boot() {
  local mode=$1 limit=$2
  shift 2
  make_run_folder || return 1
  if ! { printf '%q ' "$@" >"$out/command" && printf '%s\n' "$top" >"$out/tree" \
    && cp "$guest_dir/init.sh" "$out/init.sh" && : >"$out/stdout" && : >"$out/stderr"; }; then
    say "the run folder $out could not be written"
    return 1
  fi
  local drive="file=$image,format=raw,if=virtio,cache=unsafe"
  [ "$mode" = write ] || drive+=",snapshot=on"
  local start
  start=$(now)
  say "booting (QEMU, software emulation, 2 CPUs)"
  # Neither QEMU nor the tails get this script's locks (descriptors 8 and 9): the build lock is
  # released when the build is done, and a killed script leaves no child holding a lock.
  qemu-system-x86_64 -accel tcg,thread=multi -cpu max,smap=off -smp 2 -m 6G \
    -display none -no-reboot -nic none -monitor none -serial "file:$out/console.log" \
    -kernel "$image_dir/vmlinuz" -initrd "$image_dir/initrd.img" \
    -append "console=ttyS0 root=/dev/vda rw init=/sbin/mxv-init panic=1 quiet" \
    -drive "$drive" \
    -virtfs "local,path=$top,mount_tag=mxvtree,security_model=none,readonly=on" \
    -virtfs "local,path=$out,mount_tag=mxvout,security_model=none" 8<&- 9>&- &
  qemu_pid=$!
  tail -n +1 -s 0.5 -f --pid="$qemu_pid" "$out/stdout" 8<&- 9>&- &
  tail -n +1 -s 0.5 -f --pid="$qemu_pid" "$out/stderr" >&2 8<&- 9>&- &
  local booted=0 elapsed
  while kill -0 "$qemu_pid" 2>/dev/null; do
    elapsed=$(($(now) - start))
    if [ $booted = 0 ] && [ -f "$out/booted" ]; then
      booted=1
      say "booted in ${elapsed} s"
    fi
    if [ $booted = 0 ] && [ "$elapsed" -gt 300 ]; then
      say "the guest did not boot within 300 s; the end of its console:"
      tail -n 30 "$out/console.log" >&2 || true
      return 1
    fi
    if [ "$elapsed" -gt "$limit" ]; then
      say "the command did not finish within $limit s (MXV_GUEST_TIMEOUT); stopping the guest"
      return 1
    fi
    sleep 1
  done
  wait "$qemu_pid" || true
  qemu_pid=
  wait
  # The exit code counts only from a plain file, and only its first bytes are read.
  if [ -L "$out/rc" ] || [ ! -f "$out/rc" ]; then
    say "the guest powered off without the command's exit code; the end of its console:"
    tail -n 30 "$out/console.log" >&2 || true
    return 1
  fi
  say "powered off after $(($(now) - start)) s"
  local rc
  rc=$(head -c 8 "$out/rc") || return 1
  if ! [[ $rc =~ ^[0-9]{1,3}$ ]] || [ "$rc" -gt 255 ]; then
    say "the guest's exit code is not one: $rc"
    return 1
  fi
  return "$rc"
}

# Throws away DIR, a build that did not finish: first what its process, which is gone, left mounted
# in its chroot, then the rest, never crossing into another file system.
discard_build() {
  local dir=$1
  [ -e "$dir" ] || return 0
  chroot_clear_leftovers "$dir/root" || die "a mount left in $dir/root could not be removed"
  rm -rf --one-file-system "$dir"
}

# Removes DIR, a finished image, unless a run is using it: the exclusive lock on its image is only
# tried, never waited for, and held until it is gone. Returns 1 when the image is in use, and 2,
# having said so, when it could not be removed.
remove_unused_image() {
  local dir=$1 status=0
  [ -e "$dir" ] || return 0
  if [ -f "$dir/root.img" ] && { exec 7<"$dir/root.img"; } 2>/dev/null; then
    if ! flock -xn 7; then
      exec 7<&-
      return 1
    fi
  fi
  rm -rf --one-file-system "$dir" || status=2
  exec 7<&-
  [ $status = 0 ] || say "the image $dir could not be removed"
  return $status
}

# Removes what other keys left in the cache: images out of date (but each one in use is left for a
# later build) and builds that did not finish. Only names of this script's own form are touched.
prune_other_keys() {
  local entry name status
  for entry in "$cache"/*; do
    name=${entry##*/}
    [[ $name =~ ^[0-9a-f]{16}(\.build(\.done)?)?$ ]] && [ "$name" != "$key" ] || continue
    case "$name" in
      *.build | *.build.done) discard_build "$entry" ;;
      *)
        status=0
        remove_unused_image "$entry" || status=$?
        [ $status != 1 ] || say "kept the image $name: a run is using it"
        ;;
    esac
  done
}

build_image() {
  local start root mirror status f
  start=$(now)
  mirror=$(host_mirror "$codename")
  [ -n "$mirror" ] || die "no Debian mirror for $codename found in this machine's apt sources"
  # An unfinished build from before is thrown away; its process is gone, since this one holds the
  # build lock.
  discard_build "$build_dir"
  root=$build_dir/root
  mkdir -p "$root"
  say "building the guest image (first run on this machine: about 15 minutes)"
  say "debootstrap of Debian $codename from this machine's mirror"
  # Neither debootstrap, nor the chroot's package scripts, nor mkfs get the build lock's descriptor: a
  # daemon that one of them started and that outlived the build would hold the lock for ever.
  bounded 1200 "$build_dir/debootstrap.log" \
    debootstrap --variant=minbase --arch=amd64 "$codename" "$root" "$mirror" 9>&- \
    || { tail -n 20 "$build_dir/debootstrap.log" >&2; die "debootstrap failed"; }
  say "debootstrap done after $(($(now) - start)) s"

  # The guest installs from the same sources as this machine.
  rm -f "$root/etc/apt/sources.list" "$root"/etc/apt/sources.list.d/*
  for f in $(host_source_files); do
    cp "$f" "$root${f%/*}/"
  done
  printf 'path-exclude /usr/share/doc/*\npath-exclude /usr/share/man/*\npath-exclude /usr/share/locale/*\n' \
    >"$root/etc/dpkg/dpkg.cfg.d/01-nodoc"
  # No service starts in the chroot while packages are installed (policy-rc.d refuses every one); the
  # policy goes again afterwards, so the image is as it would be without it.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  chroot_mount "$root" || die "mounting proc, /dev and sys in the chroot failed"
  status=0
  # The chroot fetches through the same script as setup.sh, so a mirror in the middle of a sync
  # stops neither.
  cp "$top/scripts/apt_fetch.sh" "$root/tmp/apt_fetch.sh"
  bounded 2400 "$build_dir/install.log" chroot "$root" /bin/sh -ec "
    dpkg --add-architecture i386
    bash /tmp/apt_fetch.sh ${guest_packages[*]}
    rm -f /tmp/apt_fetch.sh
    apt-get clean
    rm -rf /var/lib/apt/lists/*" 9>&- || status=$?
  rm -f "$root/usr/sbin/policy-rc.d"
  chroot_unmount || die "unmounting proc, /dev or sys in the chroot failed"
  if [ $status != 0 ]; then
    tail -n 20 "$build_dir/install.log" >&2
    die "installing the guest's packages failed"
  fi
  say "packages installed after $(($(now) - start)) s"

  # The guest's first process mounts the output share and runs the boot script that the host put there.
  cp "$guest_dir/mxv-init" "$root/sbin/mxv-init"
  chmod 755 "$root/sbin/mxv-init"
  echo mxv-guest >"$root/etc/hostname"
  cp "$root/vmlinuz" "$build_dir/vmlinuz"
  cp "$root/initrd.img" "$build_dir/initrd.img"
  bounded 1200 "$build_dir/mkfs.log" \
    mkfs.ext4 -q -F -L mxvroot -d "$root" "$build_dir/root.img" 16G 9>&- \
    || { tail -n 20 "$build_dir/mkfs.log" >&2; die "writing the image failed"; }
  rm -rf --one-file-system "$root"
  say "image written after $(($(now) - start)) s"

  # The prefixes are made by Wine in the guest itself, once, and kept in the image.
  image_dir=$build_dir
  image=$image_dir/root.img
  boot write 1800 /bin/sh "$guest_dir/provision.sh" || die "making the Wine prefixes in the guest failed"
  rm -rf "$out"
  out=
  image_dir=$cache/$key
  image=$image_dir/root.img
  # What is at the image's place is incomplete (else there had been no build); no run boots it.
  remove_unused_image "$image_dir" || die "an incomplete image at $image_dir is in use or stays"
  mv "$build_dir" "$image_dir"
  # Images of other keys are out of date.
  prune_other_keys
  say "guest image ready after $(($(now) - start)) s: $(du -sh "$image" | cut -f1) on disk"
}

image_ready() { [ -f "$image_dir/root.img" ] && [ -f "$image_dir/vmlinuz" ]; }

# Builds the image unless it is ready. One build at a time on a machine: descriptor 9 holds the build
# lock while this process builds, and only then. A run that waited here finds the image that the
# other one built. The wait is bounded by the longest a build can take (the sum of its steps' limits).
lock_wait=7200
ensure_image() {
  image_ready && return 0
  open_cache
  exec 9>>"$cache/build.lock"
  # A lock that a child takes on the descriptor belongs to the open file, which this process keeps.
  in_background flock -w "$lock_wait" 9 \
    || die "the build lock $cache/build.lock is still held after $lock_wait s, longer than a" \
      "build takes: a program that an earlier build started may hold it (fuser -v shows which)"
  if ! image_ready; then
    host_tools
    build_image
  fi
  exec 9>&-
}

# Makes sure the image is there and takes a shared lock on it (descriptor 8) for the rest of this
# process, so that no build of another key removes it meanwhile. The lock counts only when it is
# taken on the file that the image's path still names, and the image is whole; a build may have
# removed it between the check and the lock, and then it is built again.
use_image() {
  local attempt
  for attempt in 1 2 3; do
    ensure_image
    if { exec 8<"$image"; } 2>/dev/null; then
      flock -s 8
      if [ /dev/fd/8 -ef "$image" ] && image_ready; then
        return 0
      fi
      exec 8<&-
    fi
  done
  die "the guest image was removed $attempt times just before this run could use it"
}

# Sourced, as by its tests, the script only defines its functions.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

case "${1:-}" in
  build)
    ensure_image
    say "image: $image"
    ;;
  ready)
    image_ready
    ;;
  run)
    shift
    [ "${1:-}" = -- ] && shift
    [ $# -gt 0 ] || die "usage: guest.sh run -- COMMAND..."
    use_image
    host_tools
    boot snapshot "${MXV_GUEST_TIMEOUT:-3600}" "$@"
    ;;
  *)
    echo "usage: guest.sh build | guest.sh ready | guest.sh run -- COMMAND..." >&2
    exit 2
    ;;
esac
