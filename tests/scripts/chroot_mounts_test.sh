#!/usr/bin/env bash
# Tests of scripts/chroot_mounts.sh, the chroot mounts of the guest image's build, in a private mount
# namespace of their own. A tmpfs with two submounts (pts and shm), all shared as on a systemd
# machine, stands in for the machine's /dev; the chroot lies on another shared tmpfs. In every case the
# stand-in must keep both submounts, and the chroot must be left with the mounts the case expects.
# Needs root; exits with 77 (skipped) where no mount namespace can be made.
set -uo pipefail

if [ -z "${MXV_PRIVATE_MOUNTS:-}" ]; then
  unshare --mount --propagation private true 2>/dev/null || {
    echo "SKIP: no private mount namespace here (needs root)"
    exit 77
  }
  MXV_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

. "$(dirname "$0")/../../scripts/chroot_mounts.sh"

base=$(mktemp -d)
mount -t tmpfs base "$base"
base=$(cd "$base" && pwd -P)
mkdir -p "$base/dev" "$base/cache"
mount -t tmpfs standin "$base/dev"
mkdir -p "$base/dev/pts" "$base/dev/shm"
mount -t tmpfs pts "$base/dev/pts"
mount -t tmpfs shm "$base/dev/shm"
mount --make-rshared "$base"

root=$base/cache/root
failures=0

# The number of mounts under DIR, DIR itself not counted.
mounts_under() { awk -v dir="$1/" 'index($2, dir) == 1' /proc/self/mounts | wc -l; }

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

while read -r name expected; do
  mkdir -p "$root/proc" "$root/dev" "$root/sys"
  chroot_mounts=()
  problems=()
  "$name" || problems+=("it returned non-zero")
  for sub in pts shm; do
    mountpoint -q "$base/dev/$sub" || problems+=("the stand-in lost its $sub")
  done
  left=$(mounts_under "$root")
  [ "$left" = "$expected" ] || problems+=("$left mounts left under the chroot, not $expected")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: $name"
  else
    failures=$((failures + 1))
    printf 'FAILED: %s: %s\n' "$name" "$(IFS=';' && echo "${problems[*]}")"
  fi
  # Each case starts afresh: nothing mounted under the chroot (a link is removed, never followed),
  # and the stand-in whole again should a case have broken it.
  for point in "$root/proc" "$root/dev" "$root/sys"; do
    if [ -L "$point" ]; then
      rm "$point"
    else
      while mountpoint -q "$point"; do umount -l "$point"; done
    fi
  done
  rm -rf "$root"
  for sub in pts shm; do
    mountpoint -q "$base/dev/$sub" || mount -t tmpfs "$sub" "$base/dev/$sub"
  done
  mount --make-rshared "$base/dev"
done <<<"$cases"

umount -R "$base"
rmdir "$base"
exit $((failures > 0))
