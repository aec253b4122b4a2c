#!/usr/bin/env bash
# Tests of scripts/chroot_mounts.sh, the chroot mounts of the guest image's build. Each case runs in a
# private mount namespace of its own, where a tmpfs with two submounts (pts and shm), all shared as on
# a systemd machine, stands in for the machine's /dev, and the chroot lies on another shared tmpfs. In
# every case the stand-in must keep both submounts, and the chroot must be left with the mounts the
# case expects. Needs root; exits with 77 (skipped) where no mount namespace can be made.
set -uo pipefail

# The cases: what each does to the chroot at $root, given the stand-in at $base/dev.
# This process mounts, then unmounts what it mounted.
mount_then_unmount() {
  chroot_mount "$root" "$base/dev" && chroot_unmount
}
# A build left its mounts; another process, which mounted nothing itself, unmounts.
other_process_unmounts() {
  (chroot_mount "$root" "$base/dev") && chroot_unmount
}
# An older build bound the stand-in as it is, a peer of it, and was killed; the next one clears it.
leftover_peer_cleared() {
  mount -t proc proc "$root/proc" && mount --rbind "$base/dev" "$root/dev" \
    && chroot_clear_leftovers "$root"
}
# A killed build left its slave mounts, two of them stacked on proc; the next one clears them.
leftover_slaves_cleared() {
  (chroot_mount "$root" "$base/dev") && mount -t proc proc "$root/proc" \
    && chroot_clear_leftovers "$root"
}
# The chroot's dev is a link to the stand-in, which is a mount point: it is not followed.
link_not_followed() {
  rmdir "$root/dev" && ln -s "$base/dev" "$root/dev" && chroot_clear_leftovers "$root"
}

#     case                     mounts left under the chroot
cases="mount_then_unmount        0
       other_process_unmounts    5
       leftover_peer_cleared     0
       leftover_slaves_cleared   0
       link_not_followed         0"

# Without arguments: runs every case in a namespace of its own and fails when one fails.
if [ $# -eq 0 ]; then
  unshare --mount --propagation private true 2>/dev/null || {
    echo "SKIP: no private mount namespace here (needs root)"
    exit 77
  }
  failures=0
  while read -r name expected; do
    unshare --mount --propagation private bash "$0" "$name" "$expected" || failures=$((failures + 1))
  done <<<"$cases"
  exit $((failures > 0))
fi

# With a case and its expected count: runs that case in this namespace.
name=$1
expected=$2
. "$(dirname "$0")/../../scripts/chroot_mounts.sh"
base=$(mktemp -d)
trap 'umount -R -l "$base"; rmdir "$base"' EXIT
mount -t tmpfs base "$base"
base=$(cd "$base" && pwd -P)
root=$base/cache/root
mkdir -p "$base/dev" "$root/proc" "$root/dev" "$root/sys"
mount -t tmpfs standin "$base/dev"
mkdir -p "$base/dev/pts" "$base/dev/shm"
mount -t tmpfs pts "$base/dev/pts"
mount -t tmpfs shm "$base/dev/shm"
mount --make-rshared "$base"

problems=()
"$name" || problems+=("it returned non-zero")
for sub in pts shm; do
  mountpoint -q "$base/dev/$sub" || problems+=("the stand-in lost its $sub")
done
left=$(awk -v dir="$root/" 'index($2, dir) == 1' /proc/self/mounts | wc -l)
[ "$left" = "$expected" ] || problems+=("$left mounts left under the chroot, not $expected")
if [ ${#problems[@]} -gt 0 ]; then
  printf 'FAILED: %s: %s\n' "$name" "$(IFS=';' && echo "${problems[*]}")"
  exit 1
fi
echo "ok: $name"
